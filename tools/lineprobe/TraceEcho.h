// The check's trace on standard error, for lineprobe check --trace: the
// component writes its trace to the debug output, which a vectored exception
// handler of the process sees before any debugger would.
#pragma once

namespace lineprobe::tool {

class TraceEcho {
public:
    // Switches the trace on for this process only, through the environment
    // (never the registry), and echoes the component's lines until destroyed.
    TraceEcho() noexcept;
    ~TraceEcho();
    TraceEcho(const TraceEcho&) = delete;
    TraceEcho& operator=(const TraceEcho&) = delete;

private:
    void* m_handler;
};

}  // namespace lineprobe::tool
