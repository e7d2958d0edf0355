#pragma once

#include <QString>

// Key names of the two files, exactly as the device and older files spell them.
namespace vetu::keys {

inline const QString MeasuringMode = QStringLiteral("Mode of Measurement");
inline const QString Time = QStringLiteral("Time Measurement");
inline const QString Pulses = QStringLiteral("Pulse Measurement");
inline const QString RemainingTerm = QStringLiteral("Integration with remaining term");
inline const QString Buzzer = QStringLiteral("Buzzer");
inline const QString PulsePrecision = QStringLiteral("Pulse Precision Setting");
inline const QString BuzzerVolume = QStringLiteral("Buzzer Volume");
inline const QString CurrentMeter = QStringLiteral("Current Meter");
inline const QString GroundFeeler = QStringLiteral("Ground Feeler");
inline const QString AutoShutDown = QStringLiteral("Auto ShutDown Period");

inline const QString LanguageOffset = QStringLiteral("LanguageOffset");

inline const QString Name = QStringLiteral("Name");
inline const QString BodyNr = QStringLiteral("BodyNr");
inline const QString PropellerNr = QStringLiteral("PropellerNr");
inline const QString MountingType = QStringLiteral("MountingType");

} // namespace vetu::keys
