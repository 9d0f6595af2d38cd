// A LOGFILE that names a pipe or a device rather than a disk file: the check
// refuses it at once instead of waiting for the other side to write.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "CheckTestSupport.h"
#include "HostSupport.h"

namespace lineprobe::test {
namespace {

constexpr wchar_t kRefused[] = L"down: ERR: Bad file name or number";

TEST(DeviceLogfile, PipeWhoseServerNeverWritesIsRefused) {
    const std::wstring name = L"\\\\.\\pipe\\lineprobe-host-" + std::to_wstring(GetCurrentProcessId());
    unique_hfile server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                         0, nullptr));
    ASSERT_TRUE(server) << GetLastError();
    const auto object = NewTestObject();
    ASSERT_TRUE(object);

    // Should the check wait on the pipe, the pipe breaks after a while, so that
    // the case ends either way; an answer that came only then is wrong.
    const unique_handle answered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(answered);
    std::atomic<bool> broken{false};
    std::thread breaker([&] {
        if (WaitForSingleObject(answered.get(), 10000) == WAIT_OBJECT_0) return;
        broken = true;
        DisconnectNamedPipe(server.get());
        server.reset();
    });
    const std::wstring got = CheckOnce(object.Get(), L"#LOGFILE=" + name + L"#USER=#PW=#UP=OK#DOWN=FAIL#");
    SetEvent(answered.get());
    breaker.join();

    EXPECT_FALSE(broken) << "the check waited for the pipe's server to write";
    EXPECT_EQ(got, kRefused);
}

TEST(DeviceLogfile, DevicesAreRefused) {
    const auto object = NewTestObject();
    ASSERT_TRUE(object);
    for (const wchar_t* device : {L"NUL", L"\\\\.\\NUL"}) {
        EXPECT_EQ(CheckOnce(object.Get(), std::wstring(L"#LOGFILE=") + device + L"#USER=#PW=#UP=#DOWN=#"), kRefused)
            << device;
    }
}

}  // namespace
}  // namespace lineprobe::test
