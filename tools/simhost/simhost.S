/* A stand-in for the supported host build: a PE32 image based at 0x400000, the
 * three host routines the plugin calls at their real addresses, recognisable
 * original bytes at every address the plugin writes, and the host code around the
 * three sites the plugin hooks.
 *
 * The entry point (AddressOfEntryPoint 0x428C25, so 0x828C25 in memory) hands
 * the process to DriverMain of the driver DLL the exe imports (the test program,
 * or the report tool) and exits with its result.
 *
 * Each site has a test entry (cdecl, one record pointer) that loads the caller's
 * sentinel registers, runs into the site through the host's own bytes, and captures
 * the machine state where the host resumes. The record pointer travels in the TEB's
 * ArbitraryUserPointer (fs:0x14), so the capture code needs no register and no
 * stack slot of its own, and every thread captures into its own record. */
#include "simhost_layout.h"

#define AT(address) .org (address) - SIM_TEXT_START, 0xCC
#define SLIDE_TO(address) .org (address) - SIM_TEXT_START, 0x90

        .section .hosttext, "xr"

/* Each test entry: cdecl, one record pointer. It keeps the caller's EBX ESI EDI EBP
 * on its stack, puts the record in fs:0x14 (the previous value in the record) and
 * leaves the record in EAX. */
        .macro ENTER_PASS prev_tib
        pushl %ebp
        pushl %ebx
        pushl %esi
        pushl %edi
        movl 20(%esp), %eax
        movl %fs:0x14, %ecx
        movl %ecx, \prev_tib(%eax)
        movl %eax, %fs:0x14
        .endm

/* Into a site: the caller's sentinels from the record's In block, the record's own
 * register EAX last. No flag changes. */
        .macro LOAD_REGISTERS in
        movl \in+REG_EBX(%eax), %ebx
        movl \in+REG_ECX(%eax), %ecx
        movl \in+REG_EDX(%eax), %edx
        movl \in+REG_ESI(%eax), %esi
        movl \in+REG_EDI(%eax), %edi
        movl \in+REG_EBP(%eax), %ebp
        movl \in+REG_EAX(%eax), %eax
        .endm

/* At a resume point: EAX into the record through the stack, the record from
 * fs:0x14, then the other seven registers; only EAX and ECX change afterwards. */
        .macro CAPTURE_EAX out
        pushl %eax
        movl %fs:0x14, %eax
        popl \out+REG_EAX(%eax)
        .endm
        .macro CAPTURE_OTHER_REGISTERS out
        movl %ecx, \out+REG_ECX(%eax)
        movl %edx, \out+REG_EDX(%eax)
        movl %ebx, \out+REG_EBX(%eax)
        movl %esp, \out+REG_ESP(%eax)
        movl %ebp, \out+REG_EBP(%eax)
        movl %esi, \out+REG_ESI(%eax)
        movl %edi, \out+REG_EDI(%eax)
        .endm

/* Back to the test: the entry's stack frame, fs:0x14 and the caller's registers. */
        .macro LEAVE_PASS frame, prev_tib
        cld
        movl \frame(%eax), %esp
        movl \prev_tib(%eax), %ecx
        movl %ecx, %fs:0x14
        popl %edi
        popl %esi
        popl %ebx
        popl %ebp
        ret
        .endm


/* ---- 0x436680: name hash. cdecl; [esp+4] name -> EAX. Clobbers ECX, EDX. ----- */
/*      h = 0xFFFFFFFF; for each byte: h = h * 33 + byte                           */
        AT(0x436680)
HostNameHash:
        lock incl SIM_HASH_CALLS
        movl 4(%esp), %edx
        movl $0xFFFFFFFF, %eax
1:      movzbl (%edx), %ecx
        testl %ecx, %ecx
        jz 2f
        imull $33, %eax, %eax
        addl %ecx, %eax
        incl %edx
        jmp 1b
2:      ret

/* ---- 0x4366B0: level-of-detail forward. cdecl; [esp+4] name, [esp+8] key.
 *      Records what it received into the pass record (if any), returns
 *      key ^ SIM_FORWARD_RESULT_XOR and leaves sentinels in ECX and EDX. -------- */
        AT(0x4366B0)
HostLodForward:
        lock incl SIM_FORWARD_CALLS
        movl %fs:0x14, %eax
        testl %eax, %eax
        jz 3f
        incl LOD_FWD_CALLS(%eax)
        movl 4(%esp), %ecx
        movl %ecx, LOD_FWD_NAME(%eax)
        movl 8(%esp), %ecx
        movl %ecx, LOD_FWD_KEY(%eax)
        movl (%esp), %ecx
        movl %ecx, LOD_FWD_RETURN(%eax)
        movl %esp, LOD_FWD_ESP(%eax)
        movl %ebx, LOD_FWD_EBX(%eax)
        movl %esi, LOD_FWD_ESI(%eax)
        movl %edi, LOD_FWD_EDI(%eax)
        movl %ebp, LOD_FWD_EBP(%eax)
        pushl %esi
        pushl %edi
        movl 12(%esp), %esi             /* the name */
        leal LOD_FWD_TEXT(%eax), %edi
        movl $63, %ecx
1:      movb (%esi), %dl
        movb %dl, (%edi)
        testb %dl, %dl
        jz 2f
        incl %esi
        incl %edi
        decl %ecx
        jnz 1b
        movb $0, (%edi)
2:      popl %edi
        popl %esi
3:      movl 8(%esp), %eax
        xorl $SIM_FORWARD_RESULT_XOR, %eax
        movl $SIM_FORWARD_ECX, %ecx
        movl $SIM_FORWARD_EDX, %edx
        ret

/* ---- Tuning slider code -------------------------------------------------------- */
        AT(0x5C185A)
        .byte 0x7E, 0x10                        /* jle +0x10 */
        AT(0x5C18DC)
        .byte 0x7C, 0x08                        /* jl +8 */
        AT(0x5C18E6)
        .byte 0x0F, 0x8E, 0xC0, 0x00, 0x00, 0x00  /* jle 0x5C19AC */
        AT(0x5C192C)
        .byte 0xC7, 0x44, 0x24, 0x08, 0x00, 0x00, 0x80, 0x3F  /* movl $1.0f, 8(%esp) */
        AT(0x5C19AC)
        .byte 0x8B, 0x44, 0x24, 0x08            /* mov 8(%esp), %eax */

/* ---- Memory pool sizes: immediates of two pushes -------------------------------- */
        AT(0x65F760)
        .byte 0x68
        .long 0x00100000                        /* 0x65F761 */
        AT(0x65F780)
        .byte 0x68
        .long 0x00080000                        /* 0x65F781 */

/* ---- 0x754CD0: attribute lookup. ECX = attribute set; [esp+4] key, [esp+8] 0;
 *      callee pops both; EAX = record from the lookup table, or 0. Records what
 *      it received, and leaves sentinels in ECX and EDX. ----------------------- */
        AT(0x754CD0)
HostAttributeLookup:
        lock incl SIM_LOOKUP_CALLS
        movl %fs:0x14, %eax
        testl %eax, %eax
        jz 1f
        incl ATTR_LOOKUP_CALLS(%eax)
        movl %ecx, ATTR_LOOKUP_ECX(%eax)
        movl 4(%esp), %edx
        movl %edx, ATTR_LOOKUP_KEY(%eax)
        movl 8(%esp), %edx
        movl %edx, ATTR_LOOKUP_ARG2(%eax)
        movl (%esp), %edx
        movl %edx, ATTR_LOOKUP_RETURN(%eax)
        movl %esp, ATTR_LOOKUP_ESP(%eax)
1:      movl 4(%esp), %edx
        pushl %esi
        movl $SIM_LOOKUP_TABLE, %esi
        movl SIM_LOOKUP_COUNT, %eax
2:      testl %eax, %eax
        jz 4f
        cmpl %ecx, (%esi)
        jne 3f
        cmpl %edx, 4(%esi)
        jne 3f
        movl 8(%esi), %eax
        jmp 5f
3:      addl $12, %esi
        decl %eax
        jmp 2b
4:      xorl %eax, %eax
5:      popl %esi
        movl $SIM_LOOKUP_ECX, %ecx
        movl $SIM_LOOKUP_EDX, %edx
        ret $8

/* ---- Autosculpt slider code ------------------------------------------------------ */
        AT(0x757290)
        .byte 0x75, 0x0C                        /* jne +0x0C */

/* ---- Attribute site --------------------------------------------------------------
 * SimPassAttributeSite(AttrPass*): pushes InX87 (x87 depth 1), builds the stack
 *   S+0x00 .. S+0x1C from SlotsIn (S+4 object, S+0x10 dword for EAX, S+0x14 integer),
 * loads In (EBP = index) and slides into 0x773D3C. */
        AT(SIM_ATTR_PASS)
        ENTER_PASS ATTR_PREV_TIB
        fnstcw ATTR_SAVED_CW(%eax)
        movl %esp, ATTR_FRAME(%eax)
        subl ATTR_STACK_SHIFT(%eax), %esp
        flds ATTR_IN_X87(%eax)
        subl $0x20, %esp
        .irp slot, 0, 4, 8, 12, 16, 20, 24, 28
        movl ATTR_SLOTS_IN+\slot(%eax), %ecx
        movl %ecx, \slot(%esp)
        .endr
        movl %esp, ATTR_EXPECTED_ESP(%eax)
        LOAD_REGISTERS ATTR_IN
        SLIDE_TO(0x773D3C)
        /* 0x773D3C: the host's own value, replaced by the JMP into the plugin */
        .byte 0x8B, 0x44, 0x24, 0x10            /* mov 0x10(%esp), %eax */
        .byte 0xDB, 0x44, 0x24, 0x14            /* fildl 0x14(%esp) */
        /* 0x773D44: where the plugin resumes the host */
        jmp AttrCapture
        AT(0x773D4F)
AttrTail:                                       /* six bytes that become no-operations */
        .byte 0xFF, 0x05
        .long SIM_TAIL_PASSES                   /* incl SIM_TAIL_PASSES */
        jmp AttrEpilogue

        AT(SIM_ATTR_CAPTURE)
AttrCapture:
        CAPTURE_EAX ATTR_OUT
        CAPTURE_OTHER_REGISTERS ATTR_OUT
        .irp slot, 0, 4, 8, 12, 16, 20, 24, 28
        movl \slot(%esp), %ecx
        movl %ecx, ATTR_SLOTS_OUT+\slot(%eax)
        .endr
        fnstenv ATTR_ENV(%eax)                  /* masks x87 exceptions from here on */
        fstps ATTR_TOP(%eax)
        fstps ATTR_BELOW(%eax)
        jmp AttrTail
AttrEpilogue:
        movl %fs:0x14, %eax
        fninit
        fldcw ATTR_SAVED_CW(%eax)
        LEAVE_PASS ATTR_FRAME, ATTR_PREV_TIB

/* ---- Level-of-detail site ---------------------------------------------------------
 * SimPassLodSite(LodPass*): pushes key and name, loads In and slides into the
 * host's CALL at 0x777D11; captures the state right after it returns. */
        AT(SIM_LOD_PASS)
        ENTER_PASS LOD_PREV_TIB
        movl %esp, LOD_FRAME(%eax)
        subl LOD_STACK_SHIFT(%eax), %esp
        pushl LOD_KEY(%eax)
        pushl LOD_NAME(%eax)
        movl %esp, LOD_EXPECTED_ESP(%eax)
        LOAD_REGISTERS LOD_IN
        SLIDE_TO(0x777D11)
        call HostLodForward                     /* 0x777D11: E8 rel32 */
        /* 0x777D16 */
        CAPTURE_EAX LOD_OUT
        CAPTURE_OTHER_REGISTERS LOD_OUT
        movl 0(%esp), %ecx
        movl %ecx, LOD_OUT_ARG0(%eax)
        movl 4(%esp), %ecx
        movl %ecx, LOD_OUT_ARG1(%eax)
        LEAVE_PASS LOD_FRAME, LOD_PREV_TIB

/* ---- Autosculpt site ---------------------------------------------------------------
 * SimPassSculptSite(SculptPass*): pushes InX87 (x87 depth 1), builds S+0 .. S+0xC
 * from SlotsIn, loads InFlags and In, and slides into 0x7E7E79. */
        AT(SIM_SCULPT_PASS)
        ENTER_PASS SCULPT_PREV_TIB
        fnstcw SCULPT_SAVED_CW(%eax)
        movl %esp, SCULPT_FRAME(%eax)
        flds SCULPT_IN_X87(%eax)
        subl $0x10, %esp
        .irp slot, 0, 4, 8, 12
        movl SCULPT_SLOTS_IN+\slot(%eax), %ecx
        movl %ecx, \slot(%esp)
        .endr
        movl %esp, SCULPT_EXPECTED_ESP(%eax)
        pushl SCULPT_IN_FLAGS(%eax)
        popfl
        LOAD_REGISTERS SCULPT_IN
        SLIDE_TO(0x7E7E79)
        /* 0x7E7E79: the host's own six bytes, replaced by the JMP into the plugin */
        .byte 0xD9, 0x05
        .long SIM_SCULPT_LIMIT                  /* flds SIM_SCULPT_LIMIT */
        /* 0x7E7E7F: where the plugin resumes the host */
        jmp SculptCapture

        AT(SIM_SCULPT_CAPTURE)
SculptCapture:
        CAPTURE_EAX SCULPT_OUT
        pushfl                                  /* nothing above has touched the flags */
        popl SCULPT_OUT_FLAGS(%eax)
        CAPTURE_OTHER_REGISTERS SCULPT_OUT
        .irp slot, 0, 4, 8, 12
        movl \slot(%esp), %ecx
        movl %ecx, SCULPT_SLOTS_OUT+\slot(%eax)
        .endr
        fnstenv SCULPT_ENV(%eax)
        fstps SCULPT_TOP(%eax)
        fstps SCULPT_BELOW(%eax)
        fninit
        fldcw SCULPT_SAVED_CW(%eax)
        LEAVE_PASS SCULPT_FRAME, SCULPT_PREV_TIB

/* ---- The entry point ------------------------------------------------------------- */
        AT(SIM_ENTRY)
        .globl _HostEntry
_HostEntry:
        call *__imp__DriverMain
        pushl %eax
        call *__imp__ExitProcess@4
        int3

        .org 0x82A000 - SIM_TEXT_START, 0xCC

/* ---- Read-only data --------------------------------------------------------------- */
        .section .hostrdata, "dr"
        .org SIM_SCULPT_LIMIT - SIM_RDATA_START, 0
        .float 1.0
        .org 0xA58F9C - SIM_RDATA_START, 0
        .long 0x00040000                        /* pool size */
        .org 0xA60DE4 - SIM_RDATA_START, 0
        .long 0x00008000                        /* pool size */

/* ---- Writable data ------------------------------------------------------------------ */
        .section .hostdata, "dw"
        .org SIM_LOOKUP_COUNT - SIM_DATA_START, 0
        .long 0
        .org SIM_HASH_CALLS - SIM_DATA_START, 0
        .long 0, 0, 0, 0
        .org 0xA8918C - SIM_DATA_START, 0
        .float 45.0                             /* the front steering angle */
        .long 0
