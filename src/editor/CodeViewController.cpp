#include "CodeViewController.h"

#include "QsciWidgets.h"

#include "CodeEditorStyle.h"

namespace vesk {

CodeViewController::CodeViewController(QWidget* parent) : QWidget(parent) {}

void CodeViewController::setAceView(QsciScintilla* editor)
{
    m_aceView = editor;
    connect(editor, &QsciScintilla::textChanged, this, &CodeViewController::textDidChange);
}

void CodeViewController::setup()
{
    configureCodeEditor(m_aceView, EditorMode::Ruby, EditorTheme::Paper);
}

QString CodeViewController::getCode() const
{
    return m_aceView ? m_aceView->text() : QString();
}

void CodeViewController::setCode(const QString& code)
{
    if (!m_aceView)
        return;
    m_settingCode = true;
    m_aceView->setText(code);
    m_settingCode = false;
}

void CodeViewController::textDidChange()
{
    if (!m_settingCode && m_textDidChange)
        m_textDidChange();
}

} // namespace vesk
