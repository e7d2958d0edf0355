#pragma once

// Readable failure messages for the types of the settings core.
#include "EquationSet.h"
#include "GeneralSettings.h"

#include <QByteArray>
#include <QString>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toPercentEncoding(" =[];,.:-_/'\"()").toStdString() << '"';
}
QT_END_NAMESPACE

namespace vetu {

inline void PrintTo(const EquationSet &set, std::ostream *os)
{
    *os << "{name " << set.name.toStdString() << ", body " << set.bodyNr.toStdString() << ", propeller "
        << set.propellerNr.toStdString() << (set.cable ? ", Cable" : ", Rod");
    for (const QString &b : set.boundary)
        *os << ", B " << b.toStdString();
    for (const QString &f : set.factor)
        *os << ", F " << f.toStdString();
    for (const QString &o : set.offset)
        *os << ", O " << o.toStdString();
    *os << '}';
}

inline void PrintTo(const GeneralSettingsSelection &s, std::ostream *os)
{
    *os << "{mode " << s.measuringMode << ", time " << s.time << ", pulses " << s.pulses << ", remaining "
        << s.remainingTerm << ", buzzer " << s.buzzer << ", precision " << s.pulsePrecision << ", volume "
        << s.buzzerVolume << ", meter " << s.currentMeter << ", feeler " << s.groundFeeler << ", shutdown "
        << s.autoShutDown << '}';
}

} // namespace vetu
