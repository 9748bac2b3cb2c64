#include "WelcomeWindowRecentView.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "Icons.h"

namespace vesk {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), m_mode, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

WelcomeWindowRecentView::WelcomeWindowRecentView(QWidget* parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_title(new ElidedLabel(this)),
      m_subtitle(new ElidedLabel(this))
{
    setObjectName(QStringLiteral("WelcomeWindowRecentView"));
    m_icon->setObjectName(QStringLiteral("imgDocument"));
    m_title->setObjectName(QStringLiteral("lblTitle"));
    m_subtitle->setObjectName(QStringLiteral("lblSubtitle"));
    // The table draws the row and its selection; this view only adds the text on top.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);

    m_icon->setPixmap(veskIcon(QStringLiteral("application-x-vesk")).pixmap(32, 32));
    m_icon->setFixedSize(32, 32);
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.08);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    QFont subtitleFont = m_subtitle->font();
    subtitleFont.setPointSizeF(subtitleFont.pointSizeF() * 0.9);
    m_subtitle->setFont(subtitleFont);
    m_subtitle->setElideMode(Qt::ElideMiddle);

    auto* lines = new QVBoxLayout;
    lines->setSpacing(1);
    lines->addWidget(m_title);
    lines->addWidget(m_subtitle);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 5, 10, 5);
    row->setSpacing(8);
    row->addWidget(m_icon);
    row->addLayout(lines, 1);
    applyColours();
}

void WelcomeWindowRecentView::setBackgroundStyle(BackgroundStyle style)
{
    m_style = style;
    applyColours();
}

void WelcomeWindowRecentView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyColours();
}

void WelcomeWindowRecentView::applyColours()
{
    // The application palette, not ours: ours is what this function sets.
    const QPalette source = QPalette();
    QColor title;
    QColor subtitle;
    if (m_style == BackgroundStyle::Emphasized) {
        title = subtitle = source.color(QPalette::HighlightedText);
    } else {
        title = source.color(QPalette::Text);
        // Secondary text: the text colour halfway towards the background.
        const QColor base = source.color(QPalette::Base);
        subtitle =
            QColor::fromRgbF((title.redF() + base.redF()) / 2, (title.greenF() + base.greenF()) / 2,
                             (title.blueF() + base.blueF()) / 2);
    }
    for (const auto& [label, colour] :
         {std::pair{m_title, title}, std::pair{m_subtitle, subtitle}}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
}

QString WelcomeWindowRecentView::titleForDocument(const QString& path)
{
    return QFileInfo(path).fileName().remove(QStringLiteral(".vesk"));
}

QString WelcomeWindowRecentView::subtitleForDocument(const QString& path, const QString& homePath)
{
    QString text =
        QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).remove(QStringLiteral("file://"));
    // The home folder as the URL spells it, so a blank in it matches too.
    QString home = QUrl::fromLocalFile(homePath).toString(QUrl::FullyEncoded);
    home.remove(QStringLiteral("file://"));
    while (home.size() > 1 && home.endsWith(QLatin1Char('/')))
        home.chop(1);
    if (home.size() > 1 && (text == home || text.startsWith(home + QLatin1Char('/'))))
        text = QLatin1Char('~') + text.mid(home.size());
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        text.truncate(slash);
    else if (slash == 0)
        text = QStringLiteral("/");
    return text;
}

} // namespace vesk
