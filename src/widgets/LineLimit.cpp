#include "LineLimit.h"

#include <QLineEdit>

namespace {

void dropLoneSurrogates(QLineEdit *box)
{
    const QString text = box->text();
    if (text.isValidUtf16())
        return;
    QString whole;
    whole.reserve(text.size());
    int cursor = box->cursorPosition();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            whole += c;
            whole += text.at(++i);
        } else if (c.isSurrogate()) {
            if (i < box->cursorPosition())
                --cursor;
        } else {
            whole += c;
        }
    }
    box->setText(whole);
    box->setCursorPosition(cursor);
}

}

void KeepWholeCharacters(QLineEdit *box)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box] { dropLoneSurrogates(box); });
}

void SetLineLimit(QLineEdit *box, int maxLength)
{
    box->setMaxLength(maxLength);
    KeepWholeCharacters(box);
}
