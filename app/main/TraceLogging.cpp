#include "app/main/TraceLogging.h"

#include "link/Trace.h"

// Debug messages are off by default: only the rules turn the trace on.
Q_LOGGING_CATEGORY(TraceCategory, "kr3090.trace", QtInfoMsg)

void RouteTraceToLogging(bool on) {
    // Rules from QT_LOGGING_RULES still come after these and win.
    if (on) QLoggingCategory::setFilterRules(QStringLiteral("kr3090.trace.debug=true"));
    SetTraceSink([](const std::string& line) {
        qCDebug(TraceCategory).noquote() << QString::fromUtf8(line);
    });
}
