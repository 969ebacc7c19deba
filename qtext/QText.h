#pragma once
// Below Qt the program keeps its texts in UTF-8 std::string; on the floors
// that use Qt this is the one way they become a QString.

#include <QString>
#include <string>

inline QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}
