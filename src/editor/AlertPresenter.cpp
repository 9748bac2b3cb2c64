#include "AlertPresenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

namespace vesk {

namespace {

AlertPresenter::Responder& responder()
{
    static AlertPresenter::Responder instance;
    return instance;
}

QMessageBox::ButtonRole roleFor(const QString& title, int index)
{
    if (index == 0)
        return QMessageBox::AcceptRole;
    if (title == QStringLiteral("Cancel") || title == QStringLiteral("No"))
        return QMessageBox::RejectRole;
    if (title == QStringLiteral("Don't Save"))
        return QMessageBox::DestructiveRole;
    return QMessageBox::ActionRole;
}

} // namespace

Alert sshFailureAlert(const QString& reason)
{
    Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.messageText = QStringLiteral("The SSH session could not be opened.");
    alert.informativeText = reason;
    alert.buttons = {QStringLiteral("OK")};
    return alert;
}

QString AlertPresenter::defaultSuppressionText()
{
    return QStringLiteral("Do not show this message again");
}

QMessageBox* AlertPresenter::createMessageBox(QWidget* parent, const Alert& alert)
{
    auto* box = new QMessageBox(parent);
    box->setIcon(alert.icon);
    box->setWindowTitle(QApplication::applicationDisplayName());
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    box->setTextFormat(Qt::PlainText);
    // The message reads as a heading above the explanation, and long explanations get room
    // instead of a narrow column of short lines.
    if (auto* message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = message->font();
        font.setBold(true);
        message->setFont(font);
        message->setMinimumWidth(380);
    }
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setMinimumWidth(380);
    const QStringList titles =
        alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    for (int i = 0; i < titles.size(); ++i) {
        QPushButton* button = box->addButton(titles.at(i), roleFor(titles.at(i), i));
        button->setProperty("alertButtonIndex", i);
        if (i == 0)
            box->setDefaultButton(button);
        if (titles.size() == 1 || roleFor(titles.at(i), i) == QMessageBox::RejectRole)
            box->setEscapeButton(button);
    }
    if (!alert.suppressionText.isEmpty())
        box->setCheckBox(new QCheckBox(alert.suppressionText, box));
    return box;
}

void AlertPresenter::present(QWidget* window, const Alert& alert, Completion completion)
{
    if (responder()) {
        const AlertResponse response = responder()(window, alert);
        if (completion)
            completion(response);
        return;
    }

    QMessageBox* box = createMessageBox(window, alert);
    box->setObjectName(QStringLiteral("alert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(alert.applicationModal || !window ? Qt::ApplicationModal
                                                             : Qt::WindowModal);
    QPointer<QMessageBox> guard(box);
    QObject::connect(box, &QMessageBox::finished, box, [guard, completion](int) {
        if (!guard)
            return;
        AlertResponse response;
        if (QAbstractButton* clicked = guard->clickedButton())
            response.button = clicked->property("alertButtonIndex").toInt();
        else if (QAbstractButton* escape = guard->escapeButton())
            response.button = escape->property("alertButtonIndex").toInt();
        response.suppressionChecked = guard->checkBox() && guard->checkBox()->isChecked();
        if (completion)
            completion(response);
    });
    box->show();
}

AlertResponse AlertPresenter::ask(QWidget* window, const Alert& alert)
{
    if (responder())
        return responder()(window, alert);
    QMessageBox* box = createMessageBox(window, alert);
    box->setObjectName(QStringLiteral("alert"));
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->exec();
    AlertResponse response;
    if (QAbstractButton* clicked = box->clickedButton())
        response.button = clicked->property("alertButtonIndex").toInt();
    else if (QAbstractButton* escape = box->escapeButton())
        response.button = escape->property("alertButtonIndex").toInt();
    response.suppressionChecked = box->checkBox() && box->checkBox()->isChecked();
    delete box;
    return response;
}

void AlertPresenter::setResponder(Responder newResponder)
{
    responder() = std::move(newResponder);
}

} // namespace vesk
