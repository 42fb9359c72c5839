#pragma once

#include <QString>

namespace zorvane {

// Where core code sends the messages that the desktop program shows as modal
// message boxes. The program implements it with QMessageBox; the command-line
// tool prints to standard error; tests record what was said.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A message box with an error icon.
    virtual void ShowError(const QString& text) = 0;
    // A plain message box with an OK button.
    virtual void ShowMessage(const QString& text) = 0;
};

// Prints every message to standard error, one line each.
class StandardErrorSink final : public MessageSink {
public:
    void ShowError(const QString& text) override;
    void ShowMessage(const QString& text) override;
};

} // namespace zorvane
