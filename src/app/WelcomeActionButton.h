#pragma once

#include <QToolButton>

namespace vesk {

/// One of the welcome window's commands: an icon beside a title and a line that explains it,
/// highlighted under the mouse like a list row.
class WelcomeActionButton : public QToolButton
{
    Q_OBJECT

public:
    explicit WelcomeActionButton(QWidget* parent = nullptr);

    QString subtitle() const { return m_subtitle; }
    void setSubtitle(const QString& subtitle);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    /// A 2×2 grid of tiles in `colour`: the sample gallery.
    static QIcon galleryIcon(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_subtitle;
};

} // namespace vesk
