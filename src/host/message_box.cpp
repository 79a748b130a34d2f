#include "host/message_box.h"

#include <cstdio>

namespace tarnlow {
namespace {

int printToStandardError(const MessageBoxRequest& request) {
    std::fprintf(stderr, "%s: %s\n", request.title.toLocal8Bit().constData(),
                 request.text.toLocal8Bit().constData());
    return request.defaultButton;
}

MessageBoxHandler& currentHandler() {
    static MessageBoxHandler handler = printToStandardError;
    return handler;
}

} // namespace

int showMessageBox(const MessageBoxRequest& request) {
    return currentHandler()(request);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    MessageBoxHandler previous = std::move(currentHandler());
    currentHandler() = handler ? std::move(handler) : MessageBoxHandler(printToStandardError);
    return previous;
}

} // namespace tarnlow
