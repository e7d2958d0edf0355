#pragma once

#include "EquationSet.h"

#include <QLocale>
#include <QString>

#include <optional>

namespace vetu {

// The editor fields a check can send the focus to.
enum class EquationField {
    Name,
    Boundary1, Boundary2, Boundary3,
    Factor1, Factor2, Factor3, Factor4,
    Offset1, Offset2, Offset3, Offset4,
};

// One failed check: the message (text id, and the argument for text 73) and the field to focus.
struct EquationCheckFailure {
    int textId = 0;
    QString argument; // "1", "2" or "3" for text 73, empty otherwise
    EquationField focus = EquationField::Name;

    bool operator==(const EquationCheckFailure &) const = default;
};

// The full check before a save: the eight rules in order; nullopt when the set may be saved.
std::optional<EquationCheckFailure> ValidateEquationTexts(const EquationSet &set,
                                                          const QLocale &locale = QLocale::system());

// The check made on leaving a boundary field: texts of all three boundaries, then their order.
std::optional<EquationCheckFailure> CheckBoundaryTexts(const EquationSet &set,
                                                       const QLocale &locale = QLocale::system());

} // namespace vetu
