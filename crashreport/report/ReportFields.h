#pragma once
// The 48 show flags of the report's general items (six bytes of the options): bit 0 of the first
// byte is "Start Date", then every item in the order of the report; bit 47 shows the custom data.

#include <array>
#include <cstdint>

namespace crashreport {

enum ReportField : int {
    FieldStartDate = 0,
    FieldNameDescription,
    FieldVersionNumber,
    FieldParameters,
    FieldCompilationDate,
    FieldUpTime,
    FieldExceptionDate, // 6
    FieldExceptionAddress,
    FieldExceptionModuleName,
    FieldExceptionModuleVersion,
    FieldExceptionType,
    FieldExceptionMessage,
    FieldExceptionId,
    FieldExceptionCount,
    FieldExceptionStatus,
    FieldExceptionNote,
    FieldUserId, // 16
    FieldUserName,
    FieldUserEmail,
    FieldUserPrivileges, // stored before Company
    FieldUserCompany,
    FieldFormClass, // 21
    FieldFormText,
    FieldControlClass,
    FieldControlText,
    FieldComputerName, // 25
    FieldTotalMemory,
    FieldFreeMemory,
    FieldTotalDisk,
    FieldFreeDisk,
    FieldSystemUpTime,
    FieldProcessor,
    FieldDisplayMode,
    FieldDisplayDpi,
    FieldVideoCard,
    FieldPrinter,
    FieldOsType, // 36
    FieldOsBuild,
    FieldOsUpdate,
    FieldOsLanguage,
    FieldOsCharset,
    FieldIpAddress, // 41
    FieldSubmask,
    FieldGateway,
    FieldDns1,
    FieldDns2,
    FieldDhcp,
    FieldCustomData = 47,
};

class TReportFields {
public:
    TReportFields() { m_bytes.fill(0xFF); }
    explicit TReportFields(const std::array<std::uint8_t, 6> &bytes) : m_bytes(bytes) { }

    bool test(int field) const
    {
        return field >= 0 && field < 48 && (m_bytes[field / 8] >> (field % 8) & 1) != 0;
    }
    void set(int field, bool on)
    {
        if (field < 0 || field >= 48)
            return;
        const std::uint8_t mask = std::uint8_t(1u << (field % 8));
        m_bytes[field / 8] = on ? std::uint8_t(m_bytes[field / 8] | mask) : std::uint8_t(m_bytes[field / 8] & ~mask);
    }
    const std::array<std::uint8_t, 6> &bytes() const { return m_bytes; }

private:
    std::array<std::uint8_t, 6> m_bytes;
};

} // namespace crashreport
