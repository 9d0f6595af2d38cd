// Opens the status file on Windows without ever getting in the way of the
// program that writes it.
#pragma once

#include <memory>
#include <string>

#include "StatusFile.h"

namespace lineprobe {

// Read-only, sharing read, write and delete; a sharing violation is retried for
// about 200 ms. Only a disk file is read: a pipe or a device is refused as a bad
// file name. Throws Failure with the description administrators know.
std::unique_ptr<ByteSource> OpenStatusFile(const std::wstring& path);

}  // namespace lineprobe
