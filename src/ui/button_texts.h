#pragma once
// Buttons carry their access key as an '&' before a letter of their text. The engine
// names buttons by their plain text ("Convert", "Stop"); the window port adds and drops
// the '&' on the way.

#include <QAbstractButton>
#include <QChar>
#include <QString>
#include <QVariant>

namespace tallowin::ui {

// The text without its '&' ("&&" stands for a plain '&').
inline QString WithoutMnemonic(const QString& text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

// The plain `text` with an '&' before the first `letter` in it (either case); '&' in
// the text itself are doubled. Unchanged when the letter does not occur.
inline QString WithMnemonic(const QString& text, QChar letter)
{
    QString marked = text;
    marked.replace(u'&', QStringLiteral("&&"));
    if (letter.isNull()) return marked;
    for (qsizetype i = 0; i < marked.size(); ++i) {
        if (marked[i] == u'&') {
            ++i;  // a doubled '&'
            continue;
        }
        if (marked[i].toLower() == letter.toLower()) {
            marked.insert(i, u'&');
            break;
        }
    }
    return marked;
}

// A button's access key, kept when the engine rewrites its text.
inline const char* const kMnemonicProperty = "tallowinMnemonic";

// Gives `button` the text `marked` ("Conver&t") and remembers its access key.
inline void SetMarkedText(QAbstractButton* button, const QString& marked)
{
    const qsizetype at = marked.indexOf(u'&');
    if (at >= 0 && at + 1 < marked.size()) button->setProperty(kMnemonicProperty, QVariant(marked[at + 1]));
    button->setText(marked);
}

// Gives `button` the plain text `plain` with its remembered access key.
inline void SetPlainText(QAbstractButton* button, const QString& plain)
{
    button->setText(WithMnemonic(plain, button->property(kMnemonicProperty).toChar()));
}

}  // namespace tallowin::ui
