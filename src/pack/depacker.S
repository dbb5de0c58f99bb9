// The depacker, and the model it decodes with, for x86-64. Written for size: every byte here
// is a byte of the packed program.
//
// The same source is assembled twice: into the depacker stub (Windows), whose code korvapack
// copies into the packed program, and into korvapack itself (the host), which encodes with
// these routines' predictions and decodes its stream with them before it writes a file. The
// host reaches the routines through host_calls.S, which saves its registers and passes
// arguments as below.
//
// The model: each of up to twelve context models hashes some of the last eight bytes (a
// mask: bit i takes the byte i+1 back), with the instruction part for code, into a table of
// lines of 16 slots, one line per nibble; a slot holds a probability and how often it was
// seen. A mixer weighs the slots' stretched probabilities with two weight sets, one chosen
// by the bit's position and the instruction part (code) or the last byte's top bits
// (data), one by the last byte. A binary arithmetic coder spends -log2(p) bits on each bit.
//
// Registers: rbx holds the model's state everywhere. Routines take their arguments in rcx,
// rdx, r8, r9 and keep nothing else; CodeBytes keeps r14 and r15 across its coder.
#include "pack/pack_model.h"
#include "pack/pack_image.h"

        .intel_syntax noprefix
        .text

// ModelStart: rbx = zeroed memory of PACK_MODEL_BYTES + 4 << tableBits, rdx = the model's
// settings, r8 = the 512 instruction classes (they may be filled in later).
        .globl PackModelStart
PackModelStart:
        mov [rbx+M_PARAMS], rdx
        mov [rbx+M_CLASSES], r8
        mov byte ptr [rbx+M_C0], 1
        // squash(x) = 4096/(1+exp(-x/256)) by stepping e = exp(-x/256) from x = 0 upwards,
        // 2.30 fixed point; the lower half mirrors the upper: squash(-x) = 4096 - squash(x)
        mov esi, 1 << 30
        xor edi, edi
1:      call SquashOfE
        mov [rbx+rdi*2+M_SQUASH+4096], ax
        imul rsi, rsi, 1069555701         // * exp(-1/256)
        shr rsi, 30
        call SquashOfE
        neg eax
        add eax, 4096
        mov ecx, 2047
        sub ecx, edi
        mov [rbx+rcx*2+M_SQUASH], ax
        inc edi
        cmp edi, 2048
        jb 1b
        // stretch as squash's inverse: the least x whose squash reaches p; squash stops at
        // 4094, so the last entry is the top's
        xor edi, edi
        mov rcx, -2048
2:      movsx eax, word ptr [rbx+rcx*2+M_SQUASH+4096]
3:      cmp edi, eax
        jg 4f
        mov [rbx+rdi*2+M_STRETCH], cx
        inc edi
        jmp 3b
4:      inc rcx
        cmp ecx, 2048
        jl 2b
        mov word ptr [rbx+M_STRETCH+8190], 2047
        ret

SquashOfE:                                // eax = (4096 << 30) / ((1 << 30) + rsi)
        lea rcx, [rsi+(1 << 30)]
        mov rax, 4096 << 30
        xor edx, edx
        div rcx
        ret

// Hash: eax = a mix of eax; clobbers edx.
Hash:
        mov edx, eax
        shr edx, 16
        xor eax, edx
        imul eax, eax, 0x7FEB352D
        mov edx, eax
        shr edx, 15
        xor eax, edx
        imul eax, eax, 0x846CA68B
        mov edx, eax
        shr edx, 16
        xor eax, edx
        ret

// HashBytes: each model's context for the byte to come: its masked bytes, and for code the
// instruction part; then the lines for the first nibble.
HashBytes:
        mov r10d, [rbx+M_XREM]
        shl r10d, 3
        mov eax, [rbx+M_XPH]
        inc eax
        or r10d, eax
        imul r10d, r10d, 0x10001
        add r10d, 0x5555
        mov r11d, [rbx+M_KIND]
        imul eax, r11d, PACK_MAX_MODELS
        add rax, [rbx+M_PARAMS]
        lea r8, [rax+P_MASKS]
        lea rdi, [rbx+M_REC]
        xor ecx, ecx
1:      movzx esi, byte ptr [r8+rcx]
        lea eax, [rcx+1]
        shl eax, 4
        or eax, r11d
        shl eax, 20
        mov r9, [rbx+M_HIST]
        xor ebp, ebp
2:      shr esi, 1
        jnc 3f
        movzx edx, r9b
        add eax, edx
        add eax, ebp
        call Hash
3:      shr r9, 8
        add ebp, 0x100
        test esi, esi
        jnz 2b
        test r11d, r11d
        jnz 4f
        add eax, r10d
        call Hash
4:      mov [rdi+R_HASH], eax
        add rdi, R_SIZE
        inc ecx
        cmp ecx, [rbx+M_COUNT]
        jb 1b
        // fall through

// Nibble: finds each model's line for the nibble to come. Its first word holds the
// context's hash: of the two lines the hash may use, the one that holds it, else the one
// that has seen less, is given to it afresh.
Nibble:
        imul r8d, [rbx+M_C0], 0x9E3779B1
        mov rax, [rbx+M_PARAMS]
        mov cl, 37
        sub cl, [rax+P_TABLEBITS]
        lea rdi, [rbx+M_REC]
        mov esi, [rbx+M_COUNT]
1:      mov eax, [rdi+R_HASH]
        add eax, r8d
        call Hash
        mov edx, eax
        shr edx, cl
        shl edx, 5
        lea r9, [rbx+rdx*4+M_TABLE]
        cmp [r9], eax
        je 3f
        cmp [r9+64], eax
        je 2f
        movzx r10d, word ptr [r9+4]
        movzx r11d, word ptr [r9+68]
        cmp r10d, r11d
        jbe 4f
2:      add r9, 64
        add edx, 16
        cmp [r9], eax
        je 3f
4:      push rdi
        push rcx
        lea rdi, [r9+4]
        mov [r9], eax
        xor eax, eax
        mov ecx, 15
        rep stosd
        pop rcx
        pop rdi
3:      mov [rdi+R_LINE], edx
        add rdi, R_SIZE
        dec esi
        jnz 1b
        mov dword ptr [rbx+M_NIB], 1
        ret

// Predict: eax = the probability (12 bits) that the next bit is a 1.
Predict:
        mov eax, [rbx+M_XREM]
        and eax, 7
        add eax, [rbx+M_XPH]
        mov ecx, [rbx+M_KIND]
        jecxz 1f
        movzx eax, byte ptr [rbx+M_HIST]
        shr eax, 6
        add eax, 16
1:      shl eax, 3
        add eax, [rbx+M_BITI]
        imul eax, eax, 4 * (PACK_MAX_MODELS + 1)
        lea rsi, [rbx+rax+M_W1]
        mov [rbx+M_W1P], rsi
        shl ecx, 8
        movzx eax, byte ptr [rbx+M_HIST]
        add eax, ecx
        imul eax, eax, 4 * (PACK_MAX_MODELS + 1)
        lea rdi, [rbx+rax+M_W2]
        mov [rbx+M_W2P], rdi
        lea r8, [rbx+M_REC]
        mov ecx, [rbx+M_COUNT]
2:      mov eax, [r8+R_LINE]
        add eax, [rbx+M_NIB]
        mov [r8+R_SLOT], eax
        mov eax, [rbx+rax*4+M_TABLE]
        shr eax, 20
        xor eax, 0x800
        movsx eax, word ptr [rbx+rax*2+M_STRETCH]
        mov [r8+R_INPUT], eax
        add r8, R_SIZE
        loop 2b
        mov dword ptr [r8+R_INPUT], 256
        // the first set's weights are kept less 12000, where each starts: zeroed memory is the start
        mov ecx, [rbx+M_COUNT]
        inc ecx
        lea r8, [rbx+M_REC]
        xor r9d, r9d
3:      lodsd
        add eax, [rdi]
        add rdi, 4
        add eax, 12000
        cdqe
        movsxd rdx, dword ptr [r8+R_INPUT]
        imul rax, rdx
        add r9, rax
        add r8, R_SIZE
        loop 3b
        sar r9, 16
        mov eax, 2047
        cmp r9, rax
        cmovg r9, rax
        neg rax
        cmp r9, rax
        cmovl r9, rax
        // squash is 2..4094 over -2047..2047: never the certainty the coder cannot code
        movzx eax, word ptr [rbx+r9*2+M_SQUASH+4096]
        mov [rbx+M_P], eax
        ret

// Update: learns bit ebp, the one the last prediction was for.
Update:
        mov eax, ebp
        shl eax, 12
        sub eax, [rbx+M_P]
        shl eax, 4
        xchg eax, r9d
        mov rsi, [rbx+M_W1P]
        mov rdi, [rbx+M_W2P]
        lea r8, [rbx+M_REC]
        mov ecx, [rbx+M_COUNT]
        inc ecx
1:      mov eax, [r8+R_INPUT]
        imul eax, r9d
        sar eax, 15
        add [rsi], eax
        add [rdi], eax
        add rsi, 4
        add rdi, 4
        add r8, R_SIZE
        loop 1b
        // each slot moves towards the bit at 1/(n+1.5), n its count up to 6
        lea r8, [rbx+M_REC]
        mov r10d, [rbx+M_COUNT]
2:      mov eax, [r8+R_SLOT]
        lea r11, [rbx+rax*4+M_TABLE]
        movzx esi, word ptr [r11]
        movzx edi, word ptr [r11+2]
        btc edi, 15
        lea ecx, [rsi*2+3]
        mov eax, 131072
        xor edx, edx
        div ecx
        mov edx, ebp
        neg edx
        movzx edx, dx
        sub edx, edi
        movsxd rdx, edx
        imul rax, rdx
        sar rax, 16
        add edi, eax
        cmp esi, 6
        adc esi, 0
        mov [r11], si
        btc edi, 15
        mov [r11+2], di
        add r8, R_SIZE
        dec r10d
        jnz 2b
        mov eax, [rbx+M_C0]
        add eax, eax
        or eax, ebp
        mov [rbx+M_C0], eax
        mov ecx, [rbx+M_NIB]
        add ecx, ecx
        or ecx, ebp
        mov [rbx+M_NIB], ecx
        inc dword ptr [rbx+M_BITI]
        cmp dword ptr [rbx+M_BITI], 4
        jne 3f
        jmp Nibble
3:      cmp dword ptr [rbx+M_BITI], 8
        jne 4f
        shl qword ptr [rbx+M_HIST], 8
        mov [rbx+M_HIST], al
        cmp dword ptr [rbx+M_KIND], 0
        jne 5f
        movzx eax, al
        call X86Step
5:      mov dword ptr [rbx+M_C0], 1
        and dword ptr [rbx+M_BITI], 0
        jmp HashBytes
4:      ret

// X86Step: follows the instruction stream by byte eax. Data inside code only misleads it
// for a while: a wrong guess costs compression, never correctness.
X86Step:
        mov ecx, [rbx+M_XPH]
        cmp ecx, 2
        ja 10f
        xor edx, edx
        cmp ecx, 1
        sete dl
        shl edx, 8
        or edx, eax
        mov rsi, [rbx+M_CLASSES]
        movzx edx, byte ptr [rsi+rdx]
        cmp ecx, 2
        jne 1f
        mov edx, [rbx+M_XOP]                  // 0F 3A takes an imm8
        shr edx, 1
        and edx, 1
        or edx, PACK_OP_MODRM
1:      mov esi, ecx
        shl esi, 8
        or esi, eax
        mov [rbx+M_XOP], esi
        mov ecx, edx
        and ecx, 15
        cmp ecx, PACK_OP_PREFIX
        jne 2f
        cmp al, 0x66
        jne 3f
        mov byte ptr [rbx+M_XO16], 1
3:      mov ecx, eax
        and ecx, 0xF0
        cmp ecx, 0x40
        jne 9f
        and eax, 8
        mov [rbx+M_XREXW], eax
9:      ret
2:      cmp ecx, PACK_OP_ESCAPE
        jb 4f
        cmp ecx, PACK_OP_ESCAPE3
        ja 4f
        sub ecx, 5
        mov [rbx+M_XPH], ecx
        ret
4:      mov [rbx+M_XIMM], ecx
        test dl, PACK_OP_WORD
        jz 5f
        cmp dword ptr [rbx+M_XO16], 0
        je 5f
        mov dword ptr [rbx+M_XIMM], 2
5:      test dl, PACK_OP_QUAD
        jz 6f
        cmp dword ptr [rbx+M_XREXW], 0
        je 6f
        mov dword ptr [rbx+M_XIMM], 8
6:      and dword ptr [rbx+M_XREM], 0
        test dl, PACK_OP_MODRM | PACK_OP_GROUP3
        jz 20f
        mov dword ptr [rbx+M_XPH], 3
        mov [rbx+M_XMOD], edx
        ret
10:     cmp ecx, 3
        jne 14f
        test byte ptr [rbx+M_XMOD], PACK_OP_GROUP3    // F6/F7: the immediate is only TEST's
        jz 11f
        mov edx, eax
        shr edx, 3
        and edx, 7
        cmp edx, 1
        jbe 11f
        and dword ptr [rbx+M_XIMM], 0
11:     mov edx, eax
        shr edx, 6
        mov [rbx+M_XMOD], edx
        mov ecx, eax
        and ecx, 7
        xor esi, esi
        cmp edx, 1
        jne 12f
        inc esi
        jmp 13f
12:     cmp edx, 2
        je 15f
        test edx, edx
        jnz 13f
        cmp ecx, 5
        jne 13f
15:     mov esi, 4
13:     mov [rbx+M_XREM], esi
        cmp edx, 3
        je 20f
        cmp ecx, 4
        jne 20f
        mov dword ptr [rbx+M_XPH], 4
        ret
14:     cmp ecx, 4
        jne 16f
        cmp dword ptr [rbx+M_XMOD], 0
        jne 20f
        and eax, 7
        cmp eax, 5
        jne 20f
        mov dword ptr [rbx+M_XREM], 4
        jmp 20f
16:     dec dword ptr [rbx+M_XREM]
        jnz 9b
        and dword ptr [rbx+M_XPH], 0
        jmp 21f
20:     mov eax, [rbx+M_XIMM]
        and dword ptr [rbx+M_XIMM], 0
        add eax, [rbx+M_XREM]
        mov [rbx+M_XREM], eax
        jz 22f
        mov dword ptr [rbx+M_XPH], 5
        ret
22:     and dword ptr [rbx+M_XPH], 0
21:     and dword ptr [rbx+M_XO16], 0
        and dword ptr [rbx+M_XREXW], 0
        ret

// CodeBytes: codes r9d bytes of kind edx (0 code, 1 data) into r8, each bit through the
// coder at [rbx+M_CODER] (ecx = p, returns the bit in eax; the depacker's is DecodeBit).
        .globl PackCodeBytes
PackCodeBytes:
        mov [rbx+M_KIND], edx
        mov rax, [rbx+M_PARAMS]
        movzx eax, byte ptr [rax+rdx+P_COUNT]
        mov [rbx+M_COUNT], eax
        mov r14, r8
        mov r15d, r9d
        call HashBytes
        test r15d, r15d
        jz 2f
1:      call Predict
        xchg eax, ecx
        call [rbx+M_CODER]
        xchg eax, ebp
        call Update
        cmp dword ptr [rbx+M_BITI], 0
        jne 1b
        mov al, [rbx+M_HIST]
        mov [r14], al
        inc r14
        dec r15d
        jnz 1b
2:      ret

// DecoderStart: decodes from the stream at rdx.
        .globl PackDecoderStart
PackDecoderStart:
        mov eax, [rdx]
        bswap eax
        mov [rbx+M_DX], eax
        add rdx, 4
        mov [rbx+M_DIN], rdx
        or dword ptr [rbx+M_DHIGH], -1
        lea rax, [rip+DecodeBit]
        mov [rbx+M_CODER], rax
        ret

// DecodeBit: eax = the bit whose chance of being 1 is ecx/4096.
DecodeBit:
        mov eax, [rbx+M_DHIGH]
        sub eax, [rbx+M_DLOW]
        mul ecx
        shrd eax, edx, 12
        add eax, [rbx+M_DLOW]
        xor ecx, ecx
        cmp [rbx+M_DX], eax
        ja 1f
        mov [rbx+M_DHIGH], eax
        inc ecx
        jmp 2f
1:      inc eax
        mov [rbx+M_DLOW], eax
2:      mov eax, [rbx+M_DLOW]
        xor eax, [rbx+M_DHIGH]
        cmp eax, 1 << 24
        jae 3f
        shl dword ptr [rbx+M_DLOW], 8
        mov eax, [rbx+M_DHIGH]
        shl eax, 8
        mov al, 255
        mov [rbx+M_DHIGH], eax
        mov rsi, [rbx+M_DIN]
        mov eax, [rbx+M_DX]
        shl eax, 8
        lodsb
        mov [rbx+M_DX], eax
        mov [rbx+M_DIN], rsi
        jmp 2b
3:      xchg eax, ecx
        ret

// FilterCode: the code's call, jump and RIP-relative operands, made absolute by the packer,
// become relative again: rcx = the bytes, edx = their size, r8d = their RVA.
        .globl PackUnfilterCode
PackUnfilterCode:
        xor r9d, r9d
1:      lea eax, [r9+6]
        cmp eax, edx
        ja 9f
        mov ax, [rcx+r9]
        mov r10d, 1                           // call, jmp rel32: the operand at 1, 5 bytes
        mov r11d, 5
        cmp al, 0xE8
        je 3f
        cmp al, 0xE9
        je 3f
        inc r10d                              // the rest: at 2, 6 bytes
        inc r11d
        cmp al, 0x0F
        jne 2f
        and ah, 0xF0
        cmp ah, 0x80                          // jcc rel32
        je 3f
2:      cmp al, 0xFF
        jne 4f
        cmp ah, 0x15                          // call [rip]
        je 3f
        cmp ah, 0x25                          // jmp [rip]
        je 3f
4:      inc r9d
        jmp 1b
3:      lea eax, [r8+r9]
        add eax, r11d
        lea rsi, [rcx+r9]
        sub [rsi+r10], eax
        add r9d, r11d
        jmp 1b
9:      ret

// ResolveImports: fills the import slots of the image at rcx from the list at rdx (for each
// library the RVA of its first slot, its name, its functions' names, an empty name; an RVA
// of 0 ends it) with LoadLibraryA and GetProcAddress, whose addresses are at r8. eax = 0, or
// the system's status for a library or a function that is not there. Keeps rbx, r12, r13.
        .globl PackResolveImports
PackResolveImports:
        sub rsp, 40
        mov r14, rcx
        mov rsi, rdx
        mov r15, r8
1:      lodsd
        test eax, eax
        jz 9f
        lea rdi, [r14+rax]
        mov rcx, rsi
        call [r15]
        xchg rax, rbp
        mov eax, PACK_DLL_NOT_FOUND
        test rbp, rbp
        jz 9f
2:      lodsb
        test al, al
        jnz 2b
3:      cmp byte ptr [rsi], 0
        je 5f
        mov rcx, rbp
        mov rdx, rsi
        call [r15+8]
        stosq
        test rax, rax
        mov eax, PACK_ENTRY_NOT_FOUND
        jz 9f
4:      lodsb
        test al, al
        jnz 4b
        jmp 3b
5:      inc rsi
        jmp 1b
9:      add rsp, 40
        ret

// ApplyRelocations: moves every 64-bit address of the base relocation blocks at rva edx
// (r8d bytes) of the image at rcx by r9; the packer has checked that the blocks hold
// nothing but such addresses and padding.
        .globl PackApplyRelocations
PackApplyRelocations:
        lea rsi, [rcx+rdx]
        lea r10, [rsi+r8]
1:      cmp rsi, r10
        jae 9f
        mov edx, [rsi]
        mov r11d, [rsi+4]
        lea rdi, [rsi+r11]
        add rsi, 8
2:      cmp rsi, rdi
        jae 1b
        movzx eax, word ptr [rsi]
        add rsi, 2
        mov r8d, eax
        shr r8d, 12
        cmp r8d, 10
        jne 2b
        and eax, 0xFFF
        add rax, rdx
        add [rcx+rax], r9
        jmp 2b
9:      ret

#ifdef _WIN32
// The entry point of the packed program: decodes the original image into place, resolves
// its imports, moves its addresses if the image was loaded elsewhere, gives every section
// its own protection and goes on to the original entry point with the registers it came with.
        .globl DepackerEntry
DepackerEntry:
        push rbx
        push rbp
        push rsi
        push rdi
        push r12
        push r13
        push r14
        push r15
        sub rsp, 56
        lea r15, [rip+DepackerData]
        mov rax, gs:[0x60]
        mov rax, [rax+0x10]                    // the process's image base
        mov [rsp+32], rax
        // fresh pages are zeroed, as the model's table must start
        movzx ecx, byte ptr [r15+D_PARAMS+P_TABLEBITS]
        mov edx, 4
        shl edx, cl
        add edx, PACK_MODEL_BYTES + PACK_HEADER_BYTES + PACK_MAX_IMPORT_BYTES
        mov r12d, edx
        xor ecx, ecx
        mov r8d, 0x3000                        // MEM_COMMIT | MEM_RESERVE
        mov r9d, 4                             // PAGE_READWRITE
        call [r15+D_VIRTUALALLOC]
        mov ecx, 0xC0000017                    // STATUS_NO_MEMORY
        test rax, rax
        jz 9f
        mov rbx, rax
        sub r12d, PACK_HEADER_BYTES + PACK_MAX_IMPORT_BYTES
        add r12, rbx                           // the header
        lea rdx, [r15+D_PARAMS]
        lea r8, [r12+H_CLASSES]
        call PackModelStart
        lea rdx, [r15+D_STREAM]
        call PackDecoderStart
        mov edx, 1
        mov r8, r12
        mov r9d, PACK_HEADER_BYTES
        call PackCodeBytes
        mov edx, 1
        lea r8, [r12+PACK_HEADER_BYTES]
        mov r9d, [r12+H_IMPORTBYTES]
        call PackCodeBytes
        lea r13, [r12+H_SECTIONS]
        mov edi, [r12+H_SECTIONCOUNT]
1:      mov r8d, [r13+S_RVA]
        add r8, [rsp+32]
        mov r9d, [r13+S_RAWSIZE]
        xor edx, edx
        bt dword ptr [r13+S_FLAGS], 8          // PACK_SECTION_CODE
        setnc dl
        push rdi
        call PackCodeBytes
        pop rdi
        bt dword ptr [r13+S_FLAGS], 8
        jnc 2f
        mov r8d, [r13+S_RVA]
        mov rcx, r8
        add rcx, [rsp+32]
        mov edx, [r13+S_RAWSIZE]
        call PackUnfilterCode
2:      add r13, S_SIZE
        dec edi
        jnz 1b
        lea r15, [rip+DepackerData]           // the decoding took r14 and r15
        mov rcx, [rsp+32]
        lea rdx, [r12+PACK_HEADER_BYTES]
        mov r8, r15                            // D_LOADLIBRARY, D_GETPROCADDRESS
        call PackResolveImports
        xchg eax, ecx
        test ecx, ecx
        jnz 9f
        mov rcx, [rsp+32]
        mov r9, rcx
        sub r9, [r12+H_IMAGEBASE]
        mov edx, [r12+H_RELOCRVA]
        mov r8d, [r12+H_RELOCSIZE]
        call PackApplyRelocations
        lea r13, [r12+H_SECTIONS]
        mov edi, [r12+H_SECTIONCOUNT]
3:      mov ecx, [r13+S_RVA]
        add rcx, [rsp+32]
        mov edx, [r13+S_VIRTUALSIZE]
        movzx r8d, byte ptr [r13+S_FLAGS]
        lea r9, [rsp+40]
        call [r15+D_VIRTUALPROTECT]
        add r13, S_SIZE
        dec edi
        jnz 3b
        mov esi, [r12+H_ENTRYRVA]
        add rsi, [rsp+32]
        mov rcx, rbx
        xor edx, edx
        mov r8d, 0x8000                        // MEM_RELEASE
        call [r15+D_VIRTUALFREE]
        mov rax, rsi
        add rsp, 56
        pop r15
        pop r14
        pop r13
        pop r12
        pop rdi
        pop rsi
        pop rbp
        pop rbx
        jmp rax
9:      xchg eax, ecx
        add rsp, 56
        pop r15
        pop r14
        pop r13
        pop r12
        pop rdi
        pop rsi
        pop rbp
        pop rbx
        ret

// What korvapack writes from here on: the import slots the system loader fills, the model's
// settings, the coded stream.
        .section .text$zzz, "xr"
        .p2align 3
        .globl DepackerData
DepackerData:
        .ascii "KorvaPak"
#else
        .section .note.GNU-stack, "", @progbits
#endif
