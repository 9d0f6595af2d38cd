// COM for the main thread of every test program of this folder, like a host's thread.
#include "TestObject.h"

namespace {
const lineprobe::Apartment g_apartment;
}  // namespace
