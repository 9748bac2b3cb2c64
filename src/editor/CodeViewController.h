#pragma once

#include <functional>

#include <QString>
#include <QWidget>

class QsciScintilla;

namespace vesk {

/// A tab view that holds one code editor. Subclasses build the view from their own .ui file,
/// hand its editor to `setAceView` and choose the mode in `setup`.
class CodeViewController : public QWidget
{
    Q_OBJECT

public:
    explicit CodeViewController(QWidget* parent = nullptr);

    QsciScintilla* aceView() const { return m_aceView; }

    /// The editor's current text.
    QString getCode() const;
    /// Replaces the editor's text; this is not reported as typing.
    void setCode(const QString& code);

    /// Called whenever the user changes the text.
    void setTextDidChangeHandler(std::function<void()> handler)
    {
        m_textDidChange = std::move(handler);
    }

protected:
    void setAceView(QsciScintilla* editor);
    /// Gives the editor the shared look; subclasses add their mode.
    virtual void setup();
    void textDidChange();

private:
    QsciScintilla* m_aceView = nullptr; // a child of this view
    std::function<void()> m_textDidChange;
    bool m_settingCode = false;
};

} // namespace vesk
