#pragma once
// The program's message boxes: application-modal, captioned with the
// product title unless told otherwise, the core's icons mapped to Qt's.

#include <QString>
#include <string>

#include "platform/Prompter.h"

class QWidget;

namespace ov {

void ShowMessageBox(QWidget* parent, const std::string& text, MessageIcon icon,
                    const std::string& caption = std::string(kProductTitle));
// Yes/No with the question icon; true means Yes.
bool AskYesNoBox(QWidget* parent, const std::string& text, const std::string& caption = std::string(kProductTitle));

QString ToQt(const std::string& utf8);
std::string FromQt(const QString& text);

}  // namespace ov
