// The host's way into depacker.S (Linux, x86-64): PackCall saves what the System V
// convention asks and passes the arguments in the registers the routines take; the
// trampolines, which the routines call, realign the stack and give the Windows convention's
// shadow space to the host function in their target.
        .intel_syntax noprefix
        .text

// PackCall(routine rdi, a rsi, b rdx, c rcx, d r8): the routine gets rcx = rbx = r14 = a,
// rdx = rsi = b, r8 = r15 = c, r9 = d (each routine says which it reads).
        .globl PackCall
PackCall:
        push rbx
        push rbp
        push r12
        push r13
        push r14
        push r15
        sub rsp, 8
        mov rax, rdi
        mov rbx, rsi
        mov r14, rsi
        mov r15, rcx
        mov r9, r8
        mov r8, rcx
        mov rcx, rsi
        mov rsi, rdx
        call rax
        add rsp, 8
        pop r15
        pop r14
        pop r13
        pop r12
        pop rbp
        pop rbx
        ret

.macro TRAMPOLINE name
        .text
        .globl \name
\name:
        push rbp
        mov rbp, rsp
        and rsp, -16
        sub rsp, 32
        call [rip+\name\()Target]
        leave
        ret
        .data
        .p2align 3
        .globl \name\()Target
\name\()Target:
        .quad 0
.endm

        TRAMPOLINE PackHostCoder
        TRAMPOLINE PackHostLoad
        TRAMPOLINE PackHostFind

        .section .note.GNU-stack, "", @progbits
