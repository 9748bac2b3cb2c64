#pragma once

#include <QList>

#include "AlertPresenter.h"

namespace vesk::test {

/// Answers every alert at once with its first button and keeps what it said.
class AlertRecorder
{
public:
    AlertRecorder()
    {
        AlertPresenter::setResponder([this](QWidget* window, const Alert& alert) {
            alerts.append(alert);
            windows.append(window);
            return AlertResponse{};
        });
    }
    ~AlertRecorder() { AlertPresenter::setResponder({}); }
    AlertRecorder(const AlertRecorder&) = delete;
    AlertRecorder& operator=(const AlertRecorder&) = delete;

    QStringList titles() const
    {
        QStringList list;
        for (const Alert& alert : alerts)
            list.append(alert.messageText);
        return list;
    }

    QList<Alert> alerts;
    QList<QWidget*> windows;
};

} // namespace vesk::test
