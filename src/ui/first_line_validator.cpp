#include "ui/first_line_validator.h"

#include <QLineEdit>

#include <algorithm>

namespace quorvel {

namespace {

bool isLineBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

qsizetype firstLineBreak(const QString& text, qsizetype from = 0) {
    const auto it = std::find_if(text.begin() + from, text.end(), isLineBreak);
    return it == text.end() ? -1 : it - text.begin();
}

// Text copied from a file often begins with the end of the line before it.
QString firstNonEmptyLine(const QString& text) {
    const auto start = std::find_if_not(text.begin(), text.end(), isLineBreak) - text.begin();
    const qsizetype end = firstLineBreak(text, start);
    return text.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

FirstLineValidator::FirstLineValidator(QLineEdit& box)
    : QValidator(&box), box_(box), accepted_(box.text()) {
    noteEditStart();
    connect(&box, &QLineEdit::cursorPositionChanged, this, &FirstLineValidator::noteEditStart);
    connect(&box, &QLineEdit::selectionChanged, this, &FirstLineValidator::noteEditStart);
}

void FirstLineValidator::noteEditStart() {
    editStart_ = box_.hasSelectedText() ? box_.selectionStart() : box_.cursorPosition();
}

QValidator::State FirstLineValidator::validate(QString& input, int& pos) const {
    if (firstLineBreak(input) < 0) {
        accepted_ = input;
        return Acceptable;
    }
    // The change replaced part of the old text by new text that ends at the cursor, so the old
    // text's tail follows the cursor. The new text begins where the user's selection or cursor
    // was, and setText() replaces everything; either way, no later than where old and new first
    // differ. Pasted text may begin like the selection it replaces, so that is not enough.
    const qsizetype cursor = std::clamp<qsizetype>(pos, 0, input.size());
    const qsizetype tail = input.size() - cursor;
    const qsizetype headLimit =
        std::min({cursor, accepted_.size() - tail, box_.isModified() ? editStart_ : 0});
    qsizetype head = 0;
    while (head < headLimit && accepted_.at(head) == input.at(head))
        ++head;

    QString result = input.left(head) + firstNonEmptyLine(input.mid(head, cursor - head));
    pos = int(result.size());
    result += input.mid(cursor);
    // Only if the old text was not what this validator last saw can a break remain outside the
    // insertion; a single line is still the rule.
    if (firstLineBreak(result) >= 0) {
        result = firstNonEmptyLine(result);
        pos = std::min(pos, int(result.size()));
    }
    input = result;
    accepted_ = input;
    return Acceptable;
}

} // namespace quorvel
