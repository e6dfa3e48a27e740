#pragma once
// The program's message boxes: modal, Chinese captions, Qt's standard
// buttons (translated by the application's Chinese Qt texts).
#include <QString>

enum class TMessageKind { Error, Warning, Information, Question };

// Shows a modal box over the active window; a question has Yes and No,
// anything else just OK. Gives true only when Yes was pressed.
bool ShowMessage(const QString& caption, const QString& text, TMessageKind kind);

void ShowError(const QString& text);        // caption "错误"
void ShowWarning(const QString& text);      // caption "警告"
void ShowInformation(const QString& text);  // caption "信息"
// Caption "警告", Yes and No: closing the box any other way means No.
bool AskYesNo(const QString& text);
