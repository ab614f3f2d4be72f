// Text across the border to the core, which keeps UTF-8 in std::string.
#pragma once

#include <QString>
#include <string>

namespace postvane {

inline std::string ToStd(const QString& text) { return text.toStdString(); }
inline QString ToQt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace postvane
