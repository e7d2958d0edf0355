// Every encoding of "call r/m64" that the assembler makes, each planted as a return address in
// a crafted stack: the walk must take it for a return address and give the call's own address.

#include "CrashStackList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace crashreport;

// name, assembler text, the leading bytes the assembler gives for it
#define CRASH_CALL_FORMS(X)                                                                                  \
    X(reg, "call *%rax", 0xFF, 0xD0)                                                                         \
    X(reg_rexb, "call *%r12", 0x41, 0xFF, 0xD4)                                                              \
    X(ind, "call *(%rax)", 0xFF, 0x10)                                                                       \
    X(ind_rdi, "call *(%rdi)", 0xFF, 0x17)                                                                   \
    X(ind_rexb, "call *(%r8)", 0x41, 0xFF, 0x10)                                                             \
    X(ind_r13, "call *(%r13)", 0x41, 0xFF, 0x55, 0x00)                                                       \
    X(ind_r12, "call *(%r12)", 0x41, 0xFF, 0x14, 0x24)                                                       \
    X(ind_rbp, "call *(%rbp)", 0xFF, 0x55, 0x00)                                                             \
    X(ind_rsp, "call *(%rsp)", 0xFF, 0x14, 0x24)                                                             \
    X(sib, "call *(%rdx,%rax,8)", 0xFF, 0x14, 0xC2)                                                          \
    X(sib_rexb, "call *(%r8,%rax,8)", 0x41, 0xFF, 0x14, 0xC0)                                                \
    X(sib_rexx, "call *(%rax,%r9,4)", 0x42, 0xFF, 0x14, 0x88)                                                \
    X(sib_rexxb, "call *(%r10,%r11,2)", 0x43, 0xFF, 0x14, 0x5A)                                              \
    X(sib_rbp, "call *(%rbp,%rax,1)", 0xFF, 0x54, 0x05, 0x00)                                                \
    X(sib_r13, "call *(%r13,%rax,1)", 0x41, 0xFF, 0x54, 0x05, 0x00)                                          \
    X(disp8, "call *0x10(%rbx)", 0xFF, 0x53, 0x10)                                                           \
    X(disp8_rexb, "call *0x10(%r11)", 0x41, 0xFF, 0x53, 0x10)                                                \
    X(disp8_neg, "call *-0x8(%rbp)", 0xFF, 0x55, 0xF8)                                                       \
    X(disp8_rsp, "call *0x10(%rsp)", 0xFF, 0x54, 0x24, 0x10)                                                 \
    X(disp8_sib, "call *0x8(%rax,%rcx,4)", 0xFF, 0x54, 0x88, 0x08)                                           \
    X(disp8_sib_rexxb, "call *-0x8(%r14,%r15,8)", 0x43, 0xFF, 0x54, 0xFE, 0xF8)                              \
    X(disp32, "call *0x12345(%rsi)", 0xFF, 0x96, 0x45, 0x23, 0x01, 0x00)                                     \
    X(disp32_rexb, "call *0x12345(%r14)", 0x41, 0xFF, 0x96, 0x45, 0x23, 0x01, 0x00)                          \
    X(disp32_rsp, "call *0x1000(%rsp)", 0xFF, 0x94, 0x24, 0x00, 0x10, 0x00, 0x00)                            \
    X(disp32_sib, "call *0x12345(%rbx,%rdx,8)", 0xFF, 0x94, 0xD3, 0x45, 0x23, 0x01, 0x00)                    \
    X(disp32_sib_rexb, "call *0x100(%r9,%rsi,1)", 0x41, 0xFF, 0x94, 0x31, 0x00, 0x01, 0x00, 0x00)            \
    X(index_only, "call *0x10(,%rax,8)", 0xFF, 0x14, 0xC5, 0x10, 0x00, 0x00, 0x00)                           \
    X(index_only_rexx, "call *0x10(,%r9,8)", 0x42, 0xFF, 0x14, 0xCD, 0x10, 0x00, 0x00, 0x00)                 \
    X(absolute, "call *0x1234567", 0xFF, 0x14, 0x25, 0x67, 0x45, 0x23, 0x01)                                 \
    X(rexw, "rex.W call *%rax", 0x48, 0xFF, 0xD0)                                                            \
    X(rexw_sib, "rex.W call *(%rdx,%rax,8)", 0x48, 0xFF, 0x14, 0xC2)                                         \
    X(rip, "call *crash_form_slot(%rip)", 0xFF, 0x15)

// Each form between a label at its start and one at its return address; never executed.
#define CRASH_FORM_ASM(name, text, ...)                                                                      \
    "    .globl crash_form_" #name "\n"                                                                      \
    "crash_form_" #name ":\n"                                                                                \
    "    " text "\n"                                                                                         \
    "    .globl crash_form_" #name "_ret\n"                                                                  \
    "crash_form_" #name "_ret:\n"                                                                            \
    "    nop\n"

#define CRASH_FORMS_TEXT "    int3\n" CRASH_CALL_FORMS(CRASH_FORM_ASM) "    ret\n"
asm("    .text\n" CRASH_FORMS_TEXT "    .section .data.rel.ro,\"aw\"\n"
    "    .p2align 3\n"
    "crash_form_slot:\n"
    "    .quad crash_form_reg\n"
    "    .text\n");

#define CRASH_FORM_DECLARE(name, ...)                                                                        \
    extern "C" const unsigned char crash_form_##name[], crash_form_##name##_ret[];
CRASH_CALL_FORMS(CRASH_FORM_DECLARE)

namespace
{

struct CallForm {
    const char *text;
    std::vector<unsigned char> leadingBytes;
    const unsigned char *site;
    const unsigned char *returnAddress;
};

#define CRASH_FORM_ROW(name, text, ...)                                                                      \
    CallForm { text, { __VA_ARGS__ }, crash_form_##name, crash_form_##name##_ret },
const CallForm callForms[] = { CRASH_CALL_FORMS(CRASH_FORM_ROW) };

std::uint64_t addr(const void *p)
{
    return reinterpret_cast<std::uint64_t>(p);
}

} // namespace

TEST(CrashStackWalkCallForms, EveryEncodingOfAnIndirectCallIsFoundWithItsOwnAddress)
{
    for (const CallForm &form : callForms) {
        SCOPED_TRACE(form.text);
        // The bytes are the assembler's; the table says which encoding each case stands for.
        ASSERT_LE(form.leadingBytes.size(), static_cast<std::size_t>(form.returnAddress - form.site));
        EXPECT_EQ(std::memcmp(form.site, form.leadingBytes.data(), form.leadingBytes.size()), 0);

        std::uint64_t stack[4] = { 0, addr(form.returnAddress), 0x1234, 0 };
        TCrashWalkParams params;
        params.addCallee = false;
        TCrashStackList list;
        CrashWalkStackCopy(list, 0, stack, sizeof stack, params);
        ASSERT_EQ(list.count(), 1u);
        EXPECT_EQ(list[0].address, addr(form.site));
        EXPECT_NE(list[0].kind, StackKindHidden);
    }
}
