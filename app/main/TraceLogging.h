#pragma once
// The traffic trace on Linux: through the logging category kr3090.trace, off
// unless asked for, since a program started from the menu that prints four
// lines a second fills the user's session journal. QT_LOGGING_RULES=
// "kr3090.trace.debug=true" or the option --trace turns it on; the lines then
// reach standard error the way Qt's messages do ("kr3090.trace: 发送 24 A1 ...",
// QT_MESSAGE_PATTERN shapes them). Windows keeps OutputDebugStringA.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(TraceCategory)

// Sends the trace lines to TraceCategory; on (as --trace asks) enables it.
void RouteTraceToLogging(bool on);
