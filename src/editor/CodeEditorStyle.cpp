#include "CodeEditorStyle.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>

#include "QsciWidgets.h"

namespace vesk {

namespace {

struct Palette
{
    QColor paper, text, comment, keyword, string, number, operators, variable, type;
    QColor marginPaper, marginText, caretLine, selection, caret;
};

Palette paletteFor(EditorTheme theme)
{
    if (theme == EditorTheme::Slate) {
        return {QColor(0x26, 0x2b, 0x33), QColor(0xd8, 0xde, 0xe9), QColor(0x7f, 0x8c, 0x98),
                QColor(0xc5, 0x94, 0xc5), QColor(0x99, 0xc7, 0x94), QColor(0xf9, 0xae, 0x58),
                QColor(0x5f, 0xb3, 0xb3), QColor(0xec, 0x60, 0x66), QColor(0x66, 0x99, 0xcc),
                QColor(0x1f, 0x23, 0x29), QColor(0x65, 0x73, 0x7e), QColor(0x2d, 0x33, 0x3c),
                QColor(0x3e, 0x4a, 0x5b), QColor(0xd8, 0xde, 0xe9)};
    }
    return {QColor(0xff, 0xff, 0xff), QColor(0x24, 0x29, 0x2e), QColor(0x6a, 0x73, 0x7d),
            QColor(0xa6, 0x26, 0xa4), QColor(0x0a, 0x7e, 0x3a), QColor(0x98, 0x68, 0x01),
            QColor(0x38, 0x3a, 0x42), QColor(0xc1, 0x3c, 0x1b), QColor(0x1a, 0x5f, 0xb4),
            QColor(0xf6, 0xf7, 0xf9), QColor(0xa0, 0xa6, 0xae), QColor(0xf3, 0xf6, 0xfb),
            QColor(0xcc, 0xe0, 0xfa), QColor(0x24, 0x29, 0x2e)};
}

QFont editorFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    if (font.pointSizeF() < 10)
        font.setPointSizeF(10);
    return font;
}

void colourStyles(QsciLexer* lexer, const Palette& palette, const QFont& font)
{
    lexer->setDefaultPaper(palette.paper);
    lexer->setDefaultColor(palette.text);
    lexer->setDefaultFont(font);
    for (int style = 0; style < 128; ++style) {
        lexer->setPaper(palette.paper, style);
        lexer->setColor(palette.text, style);
        lexer->setFont(font, style);
    }
}

QsciLexer* makeLexer(EditorMode mode, const Palette& palette, const QFont& font)
{
    if (mode == EditorMode::Shell) {
        auto* lexer = new QsciLexerBash;
        colourStyles(lexer, palette, font);
        lexer->setColor(palette.comment, QsciLexerBash::Comment);
        lexer->setColor(palette.keyword, QsciLexerBash::Keyword);
        lexer->setColor(palette.string, QsciLexerBash::DoubleQuotedString);
        lexer->setColor(palette.string, QsciLexerBash::SingleQuotedString);
        lexer->setColor(palette.string, QsciLexerBash::SingleQuotedHereDocument);
        lexer->setColor(palette.number, QsciLexerBash::Number);
        lexer->setColor(palette.operators, QsciLexerBash::Operator);
        lexer->setColor(palette.variable, QsciLexerBash::Scalar);
        lexer->setColor(palette.variable, QsciLexerBash::ParameterExpansion);
        lexer->setColor(palette.type, QsciLexerBash::Backticks);
        lexer->setColor(palette.type, QsciLexerBash::HereDocumentDelimiter);
        lexer->setColor(palette.variable, QsciLexerBash::Error);
        return lexer;
    }
    auto* lexer = new QsciLexerRuby;
    colourStyles(lexer, palette, font);
    lexer->setColor(palette.comment, QsciLexerRuby::Comment);
    lexer->setColor(palette.comment, QsciLexerRuby::POD);
    lexer->setColor(palette.keyword, QsciLexerRuby::Keyword);
    lexer->setColor(palette.keyword, QsciLexerRuby::DemotedKeyword);
    lexer->setColor(palette.string, QsciLexerRuby::DoubleQuotedString);
    lexer->setColor(palette.string, QsciLexerRuby::SingleQuotedString);
    lexer->setColor(palette.string, QsciLexerRuby::HereDocument);
    lexer->setColor(palette.string, QsciLexerRuby::PercentStringq);
    lexer->setColor(palette.string, QsciLexerRuby::PercentStringQ);
    lexer->setColor(palette.string, QsciLexerRuby::PercentStringw);
    lexer->setColor(palette.number, QsciLexerRuby::Number);
    lexer->setColor(palette.operators, QsciLexerRuby::Operator);
    lexer->setColor(palette.variable, QsciLexerRuby::Symbol);
    lexer->setColor(palette.variable, QsciLexerRuby::InstanceVariable);
    lexer->setColor(palette.variable, QsciLexerRuby::ClassVariable);
    lexer->setColor(palette.variable, QsciLexerRuby::Global);
    lexer->setColor(palette.type, QsciLexerRuby::ClassName);
    lexer->setColor(palette.type, QsciLexerRuby::ModuleName);
    lexer->setColor(palette.type, QsciLexerRuby::FunctionMethodName);
    lexer->setColor(palette.type, QsciLexerRuby::Regex);
    return lexer;
}

} // namespace

void configureCodeEditor(QsciScintilla* editor, EditorMode mode, EditorTheme theme, bool readOnly)
{
    if (!editor)
        return;
    const Palette palette = paletteFor(theme);
    const QFont font = editorFont();

    editor->setUtf8(true);
    editor->setFont(font);
    // The lexer is parented to the editor and replaced, never shared between editors.
    QsciLexer* old = editor->lexer();
    QsciLexer* lexer = makeLexer(mode, palette, font);
    lexer->setParent(editor);
    editor->setLexer(lexer);
    delete old;

    editor->setPaper(palette.paper);
    editor->setColor(palette.text);
    editor->setCaretForegroundColor(palette.caret);
    editor->setCaretLineVisible(!readOnly);
    editor->setCaretLineBackgroundColor(palette.caretLine);
    editor->setSelectionBackgroundColor(palette.selection);
    editor->resetSelectionForegroundColor();

    editor->setMarginType(0, QsciScintilla::NumberMargin);
    editor->setMarginLineNumbers(0, true);
    editor->setMarginsFont(font);
    editor->setMarginWidth(0, QStringLiteral("00000"));
    editor->setMarginsBackgroundColor(palette.marginPaper);
    editor->setMarginsForegroundColor(palette.marginText);
    editor->setMarginWidth(1, 6);
    editor->setMarginSensitivity(1, false);
    editor->setFolding(QsciScintilla::NoFoldStyle);
    // A little air between the line numbers and the text.
    editor->SendScintilla(QsciScintillaBase::SCI_SETMARGINLEFT, 0, 6);

    editor->setEdgeMode(QsciScintilla::EdgeNone);
    editor->setIndentationsUseTabs(false);
    editor->setTabWidth(4);
    editor->setAutoIndent(true);
    editor->setBraceMatching(QsciScintilla::SloppyBraceMatch);
    editor->setMatchedBraceBackgroundColor(palette.selection);
    editor->setUnmatchedBraceForegroundColor(palette.variable);
    editor->setScrollWidth(1);
    editor->setScrollWidthTracking(true);
    editor->setFrameShape(QFrame::NoFrame);
    editor->setReadOnly(readOnly);
}

} // namespace vesk
