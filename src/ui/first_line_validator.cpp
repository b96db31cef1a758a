#include "ui/first_line_validator.h"

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

} // namespace

FirstLineValidator::FirstLineValidator(const QString& currentText, QObject* parent)
    : QValidator(parent), accepted_(currentText) {}

QValidator::State FirstLineValidator::validate(QString& input, int& pos) const {
    if (firstLineBreak(input) < 0) {
        accepted_ = input;
        return Acceptable;
    }
    // The change replaced part of the old text by new text that ends at the cursor, so the old
    // text's tail follows the cursor. The head is what old and new share before the insertion;
    // if the insertion happens to begin like the text it replaced, taking those characters as
    // head gives the same result.
    const qsizetype cursor = std::clamp<qsizetype>(pos, 0, input.size());
    const qsizetype tail = input.size() - cursor;
    const qsizetype headLimit = std::min(cursor, accepted_.size() - tail);
    qsizetype head = 0;
    while (head < headLimit && accepted_.at(head) == input.at(head))
        ++head;

    QString inserted = input.mid(head, cursor - head);
    if (const qsizetype cut = firstLineBreak(inserted); cut >= 0)
        inserted.truncate(cut);
    QString result = input.left(head) + inserted;
    pos = int(result.size());
    result += input.mid(cursor);
    // Only if the old text was not what this validator last saw can a break remain outside the
    // insertion; a single line is still the rule.
    if (const qsizetype cut = firstLineBreak(result); cut >= 0) {
        result.truncate(cut);
        pos = std::min(pos, int(cut));
    }
    input = result;
    accepted_ = input;
    return Acceptable;
}

} // namespace quorvel
