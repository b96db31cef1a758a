#pragma once

#include <QString>
#include <QValidator>

namespace quorvel {

// Keeps a single-line box to one line. QLineEdit keeps line breaks that arrive by paste, drop or
// setText, and one would split a line of the written file; here such text keeps only its first
// line, as a platform single-line edit does. Everything else is accepted unchanged.
class FirstLineValidator : public QValidator {
public:
    FirstLineValidator(const QString& currentText, QObject* parent);

    State validate(QString& input, int& pos) const override;

private:
    // The box's text after the last change; holds no line break.
    mutable QString accepted_;
};

} // namespace quorvel
