#pragma once

#include <QLabel>
#include <QWidget>

namespace vesk {

/// A label that draws its text shortened with an ellipsis when it does not fit; `text()` stays
/// whole.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setElideMode(Qt::TextElideMode mode) { m_mode = mode; }
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode m_mode = Qt::ElideRight;
};

/// One row of the welcome window's recent documents: the document's name over its folder.
class WelcomeWindowRecentView : public QWidget
{
    Q_OBJECT

public:
    /// Normal is an unselected row; Emphasized is the selected row's dark highlight.
    enum class BackgroundStyle { Normal, Emphasized };

    explicit WelcomeWindowRecentView(QWidget* parent = nullptr);

    QLabel* lblTitle() const { return m_title; }
    QLabel* lblSubtitle() const { return m_subtitle; }

    /// Colours both lines for the row's background: highlighted text on a selected row.
    void setBackgroundStyle(BackgroundStyle style);
    BackgroundStyle backgroundStyle() const { return m_style; }

    /// The document's file name with every ".vesk" removed ("notes.vesk.vesk" → "notes").
    static QString titleForDocument(const QString& path);
    /// The document's folder as its file URL spells it, without "file://", the home folder
    /// abbreviated to "~" ("/home/u/Projects/web/web.vesk" → "~/Projects/web"). Percent escapes
    /// stay (a blank reads %20).
    static QString subtitleForDocument(const QString& path, const QString& homePath);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    QLabel* m_icon;
    ElidedLabel* m_title;
    ElidedLabel* m_subtitle;
    BackgroundStyle m_style = BackgroundStyle::Normal;
};

} // namespace vesk
