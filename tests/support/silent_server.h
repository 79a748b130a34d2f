#pragma once

namespace tarnlow::test {

// A local TCP port whose connections the kernel accepts and that then never answers: a client
// waits for the server's first reply for ever unless its own login timeout (or a cancel) ends it.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    // 0 when no port could be opened.
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
};

} // namespace tarnlow::test
