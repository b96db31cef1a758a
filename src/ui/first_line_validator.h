#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

namespace quorvel {

// Keeps a single-line box to one line. QLineEdit keeps line breaks that arrive by paste, drop or
// setText, and one would split a line of the written file; here such text keeps only its first
// line that is not empty, as a platform single-line edit does. Everything else is accepted
// unchanged. A child of the box it serves.
class FirstLineValidator : public QValidator {
public:
    explicit FirstLineValidator(QLineEdit& box);

    State validate(QString& input, int& pos) const override;

private:
    void noteEditStart();

    const QLineEdit& box_;
    // The box's text after the last change; holds no line break.
    mutable QString accepted_;
    // Where the user's next change begins: the start of the selection, or else the cursor. The
    // box reports a change's new cursor and selection only after validating it.
    qsizetype editStart_ = 0;
};

} // namespace quorvel
