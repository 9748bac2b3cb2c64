#pragma once

#include <QString>

namespace vesk {

/// True when the text can stand in a bash command line as one word without quotes.
inline bool isShellSafeWord(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool safe = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                          (u >= u'0' && u <= u'9') || u == u'_' || u == u'-' || u == u'.' ||
                          u == u'/' || u == u'@' || u == u'%' || u == u'+' || u == u'=' ||
                          u == u':' || u == u',';
        if (!safe)
            return false;
    }
    return true;
}

/// The text as one bash word that means exactly the text: unchanged when it is a safe word,
/// otherwise in single quotes, each ' written as '\''.
inline QString shellQuote(const QString& text)
{
    if (isShellSafeWord(text))
        return text;
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'\'';
    for (const QChar c : text) {
        if (c == u'\'')
            quoted += QStringLiteral("'\\''");
        else
            quoted += c;
    }
    quoted += u'\'';
    return quoted;
}

/// Like shellQuote, but a text that bash takes literally inside double quotes is written as
/// "text", the form our command lines have always used for folders (blanks included).
inline QString shellQuoteInDoubleQuotes(const QString& text)
{
    for (const QChar c : text) {
        // Inside double quotes bash still expands $, `, \ and ends at "; ! expands in
        // interactive shells.
        if (c == u'"' || c == u'$' || c == u'`' || c == u'\\' || c == u'!')
            return shellQuote(text);
    }
    return u'"' + text + u'"';
}

} // namespace vesk
