// Menu and button texts treat "&" as a mnemonic marker.
#pragma once

#include <QString>
#include <string>

/// `text` for a menu or button title: a literal "&" doubled.
inline QString menuText(const std::string& text) { return QString::fromStdString(text).replace("&", "&&"); }
