#pragma once

#include <QObject>

// Prints "painted <CPU milliseconds>" on standard output once the watched window has been painted for the
// first time (after the whole paint pass of that window), then ends the event loop.
class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(QObject *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_seen = false;
};
