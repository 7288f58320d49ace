#pragma once

#include <QLineEdit>
#include <QString>

#include <string>

#include "common/desktop/qt_desktop_services.h"

namespace wardlet {

// The 8-bit form of what a control holds, as the core stores it.
inline std::string ToLocal8Bit(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// A line edit named for tests, taking at most `limit` characters as typed.
inline QLineEdit* NewLineEdit(const char* objectName, int limit, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setMaxLength(limit);
    return edit;
}

}  // namespace wardlet
