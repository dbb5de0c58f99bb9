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
// Registers: rbx holds the model's state everywhere. Routines take their arguments in the
// registers they name and keep nothing else unless they say so; CodeBytes keeps r12, r13
// and r15, and expects its coder to keep rbx, rsi, rdi, rbp and r12-r15 (as the Windows
// convention does).
#include "pack/pack_model.h"
#include "pack/pack_image.h"

// Contexts are hashed by multiplying: a line pair is chosen by the product's top bits, in
// which every bit of the context counts, and the whole product is kept to tell contexts apart.
#define HASH 0x7FEB352D

        .intel_syntax noprefix
        .text

// ModelStart: rbx = zeroed memory of PACK_MODEL_BYTES + 4 << tableBits, rdx = the model's
// settings, r8 = the 512 instruction classes (they may be filled in later).
        .globl PackModelStart
PackModelStart:
        mov [rbx+M_PARAMS], rdx
        mov [rbx+M_CLASSES], r8
        mov byte ptr [rbx+M_C0], 1
        mov al, 37
        sub al, [rdx+P_TABLEBITS]
        mov [rbx+M_SHIFT], al
        // squash(x) = 4096/(1+e) for x = -2048..2047, e = exp(-x/256) in 12.20 fixed point,
        // stepped down by exp(-1/256): 1..4095, never the certainty the coder cannot code
        mov esi, 3125761002                   // exp(8) << 20
        xor edi, edi
1:      lea ecx, [rsi+(1 << 20)]
        xor eax, eax
        cdq
        inc edx
        div ecx
        mov [rbx+rdi*2+M_SQUASH], ax
        imul rsi, rsi, 2139111403             // exp(-1/256) << 31
        shr rsi, 31
        inc edi
        bt edi, 12
        jnc 1b
        // stretch as squash's inverse: the least x whose squash reaches p
        xor edi, edi
        xor ecx, ecx
2:      movsx eax, word ptr [rbx+rcx*2+M_SQUASH]
3:      cmp edi, eax
        jg 4f
        lea edx, [rcx-2048]
        mov [rbx+rdi*2+M_STRETCH], dx
        inc edi
        jmp 3b
4:      inc ecx
        bt ecx, 12
        jnc 2b
        ret

// HashBytes: each model's context for the byte to come: its masked bytes, its kind, and the
// instruction part (for data, where it stands still, a constant); then the lines for the
// first nibble.
HashBytes:
        movzx r10d, word ptr [rbx+M_XPH]      // the part: phase, operand bytes to come
        shl r10d, 4
        or r10b, [rbx+M_KIND]
        shl r10d, 8
        movzx eax, byte ptr [rbx+M_KIND]
        imul eax, eax, PACK_MAX_MODELS
        add rax, [rbx+M_PARAMS]
        lea r8, [rax+P_MASKS]
        lea rdi, [rbx+M_REC]
        xor ecx, ecx
1:      movzx esi, byte ptr [r8+rcx]
        mov eax, esi                           // a model is known by its mask and kind
        shl eax, 24
        or eax, r10d
        mov r9, [rbx+M_HIST]
2:      shr esi, 1
        jnc 3f
        add al, r9b                            // (the chain's order tells the bytes apart)
        imul eax, eax, HASH                    // a hash: its top bits choose lines
3:      shr r9, 8
        test esi, esi
        jnz 2b
        mov [rdi+R_HASH], eax
        add rdi, R_SIZE
        inc ecx
        cmp cl, [rbx+M_COUNT]
        jb 1b
        // fall through

// Nibble: finds each model's line for the nibble to come. Its first word holds the
// context's hash: of the two lines the hash may use, the one that holds it, else the one
// that has seen less, is given to it afresh.
Nibble:
        imul r8d, [rbx+M_C0], 0x9E3779B1
        mov cl, [rbx+M_SHIFT]
        lea r11, [rbx+M_REC]
        movzx esi, byte ptr [rbx+M_COUNT]
1:      mov eax, [r11+R_HASH]
        add eax, r8d
        imul eax, eax, HASH
        mov edx, eax
        shr edx, cl
        shl edx, 5
        lea rdi, [rbx+rdx*4+M_TABLE]
        cmp [rdi], eax
        je 3f
        cmp [rdi+64], eax
        je 2f
        mov r10w, [rdi+4]
        cmp r10w, [rdi+68]
        jbe 4f
2:      add rdi, 64
        cmp [rdi], eax
        je 3f
4:      push rcx
        push rdi
        stosd
        xor eax, eax
        mov ecx, 15
        rep stosd
        pop rdi
        pop rcx
3:      mov [r11+R_LINE], rdi
        add r11, R_SIZE
        dec esi
        jnz 1b
        mov byte ptr [rbx+M_NIB], 1
        ret

// CodeBytes: codes r9d bytes of kind edx (0 code, 1 data) into r8, each bit through the
// coder at [rbx+M_CODER] (ecx = p, returns the bit in eax; the depacker's is DecodeBit).
        .globl PackCodeBytes
PackCodeBytes:
        mov [rbx+M_KIND], dl
        mov rax, [rbx+M_PARAMS]
        mov al, [rax+rdx+P_COUNT]
        mov [rbx+M_COUNT], al
        mov r14, r8
        push r9
        call HashBytes
        jmp 9f
1:      call Bit
        cmp byte ptr [rbx+M_BITI], 0
        jne 1b
        mov al, [rbx+M_HIST]
        mov [r14], al
        inc r14
9:      dec dword ptr [rsp]
        jns 1b
        pop r9
        ret

// Bit: codes one bit, learns from it, and moves on to the next.
Bit:    // the weight sets for its position and the inputs
        movzx eax, byte ptr [rbx+M_XREM]
        and al, 7
        add al, [rbx+M_XPH]
        cmp byte ptr [rbx+M_KIND], 0
        je 2f
        mov al, [rbx+M_HIST]
        shr al, 6
        add al, 16
2:      shl eax, 3
        add al, [rbx+M_BITI]
        imul eax, eax, 4 * (PACK_MAX_MODELS + 1)
        lea rsi, [rbx+rax+M_W1]
        movzx eax, byte ptr [rbx+M_HIST]
        mov ah, [rbx+M_KIND]
        imul eax, eax, 4 * (PACK_MAX_MODELS + 1)
        lea rdi, [rbx+rax+M_W2]
        // the inputs and the mixer: the first set's weights are kept less 16000, where each
        // starts, so zeroed memory is the start
        push rdi
        push rsi
        lea r8, [rbx+M_REC]
        movzx ecx, byte ptr [rbx+M_COUNT]
        xor ebp, ebp
3:      mov eax, [rbx+M_NIB]
        shl eax, 2
        add rax, [r8+R_LINE]
        mov [r8+R_SLOT], rax
        mov eax, [rax]
        shr eax, 20
        xor ah, 8
        movsx rdx, word ptr [rbx+rax*2+M_STRETCH]
        mov [r8+R_INPUT], edx
        lodsd
        add eax, [rdi]
        scasd
        add eax, 16000
        cdqe
        imul rax, rdx
        add rbp, rax
        add r8, R_SIZE
        loop 3b
        sar rbp, 16
        mov eax, 2047
        cmp ebp, eax
        cmovg ebp, eax
        neg eax
        cmp ebp, eax
        cmovl ebp, eax
        movsxd rbp, ebp
        movzx ecx, word ptr [rbx+rbp*2+M_SQUASH+4096]
        mov ebp, ecx
        call [rbx+M_CODER]
        pop rsi
        pop rdi
        // learn: the weights by the error, each slot towards the bit at 1/(n+1.5), n its count
        // up to 6; a slot holds the probability less one half (signed) above the count
        mov edx, eax
        shl edx, 12
        sub edx, ebp
        xchg eax, ebp
        movzx ecx, byte ptr [rbx+M_COUNT]
        lea r8, [rbx+M_REC]
5:      mov eax, [r8+R_INPUT]
        imul eax, edx
        sar eax, 12
        add [rsi], eax
        add [rdi], eax
        lodsd
        scasd
        add r8, R_SIZE
        loop 5b
        lea r8, [rbx+M_REC]
        movzx ecx, byte ptr [rbx+M_COUNT]
        lea r9d, [rbp-1]
        xor r9w, 0x7FFF                       // the bit's target: 32767 or -32768
6:      mov r11, [r8+R_SLOT]
        movzx r10d, word ptr [r11]
        cmp r10d, 6
        adc word ptr [r11], 0
        lea r10d, [r10+r10+3]
        movsx edx, word ptr [r11+2]
        mov eax, r9d
        sub eax, edx
        add eax, eax
        cdq
        idiv r10d
        add [r11+2], ax
        add r8, R_SIZE
        loop 6b
        // the bit joins the byte
        mov eax, [rbx+M_C0]
        add eax, eax
        or eax, ebp
        mov [rbx+M_C0], eax
        shl dword ptr [rbx+M_NIB], 1
        or [rbx+M_NIB], ebp
        inc byte ptr [rbx+M_BITI]
        cmp byte ptr [rbx+M_BITI], 4
        jne 7f
        call Nibble
7:      cmp byte ptr [rbx+M_BITI], 8
        jne 9f
        shl qword ptr [rbx+M_HIST], 8
        mov [rbx+M_HIST], al
        mov word ptr [rbx+M_C0], 1
        mov byte ptr [rbx+M_BITI], 0
        movzx eax, al
        cmp [rbx+M_KIND], ah
        jne 8f
        call X86Step
8:      jmp HashBytes
9:      ret

// X86Step: follows the instruction stream by byte eax (< 256). Data inside code only
// misleads it for a while: a wrong guess costs compression, never correctness.
X86Step:
        movzx ecx, byte ptr [rbx+M_XPH]
        cmp cl, 2
        ja 10f
        cmp cl, 1
        sete ah
        mov rdx, [rbx+M_CLASSES]
        movzx edx, byte ptr [rdx+rax]
        mov ah, 0
        cmp cl, 2
        jne 1f
        mov dl, [rbx+M_XOP]                   // 0F 3A takes an imm8
        shr dl, 1
        and dl, 1
        or dl, PACK_OP_MODRM
1:      mov [rbx+M_XOP], al
        mov ecx, edx
        and ecx, 15
        cmp cl, PACK_OP_PREFIX
        jne 2f
        cmp al, 0x66                          // the prefixes are kept as the class bits they
        jne 3f                                // enable: 66 the word, REX.W the quad
        mov byte ptr [rbx+M_XO16], PACK_OP_WORD
3:      xor al, 0x40                          // REX: 40..4F
        cmp al, 16
        jae 9f
        and al, 8
        shl al, 2
        mov [rbx+M_XREXW], al
9:      ret
2:      lea eax, [rcx-PACK_OP_ESCAPE]         // 0F, or 0F 38 / 0F 3A: the opcode is to come
        cmp al, 1
        ja 4f
        inc eax
        mov [rbx+M_XPH], al
        ret
4:      mov [rbx+M_XIMM], cl
        test [rbx+M_XO16], dl
        jz 5f
        mov byte ptr [rbx+M_XIMM], 2
5:      test [rbx+M_XREXW], dl
        jz 6f
        mov byte ptr [rbx+M_XIMM], 8
6:      mov byte ptr [rbx+M_XREM], 0
        test dl, PACK_OP_MODRM | PACK_OP_GROUP3
        jz 20f
        mov byte ptr [rbx+M_XPH], 3
        mov [rbx+M_XMOD], dl
        ret
10:     cmp cl, 3
        jne 14f
        test byte ptr [rbx+M_XMOD], PACK_OP_GROUP3   // F6/F7: the immediate is only TEST's
        jz 11f
        test al, 0x30
        jz 11f
        mov byte ptr [rbx+M_XIMM], 0
11:     mov edx, eax
        shr edx, 6
        mov [rbx+M_XMOD], dl
        and eax, 7
        mov cl, 1
        cmp dl, 1
        je 13f
        mov cl, 4
        cmp dl, 2
        je 13f
        test dl, dl
        jnz 12f
        cmp al, 5
        je 13f
12:     mov cl, 0
13:     mov [rbx+M_XREM], cl
        cmp dl, 3
        je 20f
        cmp al, 4
        jne 20f
        mov byte ptr [rbx+M_XPH], 4
19:     ret
14:     cmp cl, 4
        jne 16f
        cmp byte ptr [rbx+M_XMOD], 0
        jne 20f
        and al, 7
        cmp al, 5
        jne 20f
        mov byte ptr [rbx+M_XREM], 4
        jmp 20f
16:     dec byte ptr [rbx+M_XREM]
        jnz 19b
        jmp 22f
20:     mov al, [rbx+M_XIMM]
        mov byte ptr [rbx+M_XIMM], 0
        add al, [rbx+M_XREM]
        mov [rbx+M_XREM], al
        jz 22f
        mov byte ptr [rbx+M_XPH], 5
        ret
22:     mov byte ptr [rbx+M_XPH], 0
        mov word ptr [rbx+M_XO16], 0
        ret

// DecoderStart: decodes from the stream at rdx.
        .globl PackDecoderStart
PackDecoderStart:
        mov eax, [rdx]
        bswap eax
        mov [rbx+M_DCODE], eax
        add rdx, 4
        mov [rbx+M_DIN], rdx
        or dword ptr [rbx+M_DRANGE], -1
        lea rax, [rip+DecodeBit]
        mov [rbx+M_CODER], rax
        ret

// DecodeBit: eax = the bit whose chance of being 1 is ecx/4096.
DecodeBit:
        mov eax, [rbx+M_DRANGE]
        shr eax, 12
        mul ecx
        mov edx, [rbx+M_DCODE]
        xor ecx, ecx
        sub edx, eax
        jb 1f
        mov [rbx+M_DCODE], edx
        sub [rbx+M_DRANGE], eax
        jmp 2f
1:      mov [rbx+M_DRANGE], eax
        inc ecx
2:      cmp byte ptr [rbx+M_DRANGE+3], 0
        jne 3f
        shl dword ptr [rbx+M_DRANGE], 8
        shl dword ptr [rbx+M_DCODE], 8
        mov rdx, [rbx+M_DIN]
        mov dl, [rdx]
        mov [rbx+M_DCODE], dl
        inc qword ptr [rbx+M_DIN]
        jmp 2b
3:      xchg eax, ecx
        ret

// FilterCode, UnfilterCode: follow the code at rsi (r8d bytes at RVA r9d) with the model's
// instruction parser (rbx; its state where the code begins) and make every call's and jump's
// rel32 and every RIP-relative displacement absolute (the packer), or relative again (the
// depacker): the same target then reads the same bytes wherever it is used. Only opcode,
// ModRM and SIB bytes lead the parser, and neither direction changes them.
        .globl PackFilterCode
PackFilterCode:
        xor ebp, ebp
        jmp 0f
        .globl PackUnfilterCode
PackUnfilterCode:
        or ebp, -1
0:      lea r10, [rsi+r8]
        sub r9, rsi                           // an instruction's end + r9 = its RVA
1:      cmp rsi, r10
        jae 9f
        movzx eax, byte ptr [rsi]
        inc rsi
        movzx r11d, byte ptr [rbx+M_XPH]
        call X86Step
        cmp r11b, 3
        ja 1b
        je 2f
        cmp dl, 4                             // an opcode of rel32: call, jmp, jcc
        jne 1b
        lea rdx, [rsi+4]
        jmp 3f
2:      mov al, [rsi-1]                       // ModRM: RIP-relative?
        and al, 0xC7
        cmp al, 5
        jne 1b
        movzx edx, byte ptr [rbx+M_XREM]
        add rdx, rsi
3:      cmp rdx, r10
        ja 1b
        lea eax, [rdx+r9]
        xor eax, ebp
        sub eax, ebp
        add [rsi], eax
        jmp 1b
9:      ret

// ResolveImports: fills the import slots of the image at r14 from the list at rsi (for each
// library the RVA of its first slot, its name, its functions' name hashes, a hash of 0; an
// RVA of 0 ends it) with LoadLibraryA and GetProcAddress, whose addresses are at r15: each
// name is found among the library's exports by its hash, and asked for by name (so that
// forwarded exports are followed). eax = 0, or the system's status for a library or a
// function that is not there. Keeps rbx, r12, r13.
        .globl PackResolveImports
PackResolveImports:
        sub rsp, 40
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
3:      lodsd
        test eax, eax
        jz 1b
        xchg eax, r11d
        mov eax, [rbp+0x3C]                    // the PE header
        mov eax, [rbp+rax+0x88]                // the export directory
        mov ecx, [rbp+rax+0x18]                // its names
        mov r10d, [rbp+rax+0x20]
        add r10, rbp
        jrcxz 6f
4:      mov edx, [r10]
        add r10, 4
        add rdx, rbp
        mov r9, rdx
        xor eax, eax
5:      movzx r8d, byte ptr [r9]
        inc r9
        xor eax, r8d
        imul eax, eax, 0x01000193
        test r8d, r8d
        jnz 5b
        cmp eax, r11d
        loopne 4b
        jne 6f
        mov rcx, rbp
        call [r15+8]
        stosq
        test rax, rax
        jnz 3b
6:      mov eax, PACK_ENTRY_NOT_FOUND
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
        lodsd
        xchg eax, edx
        lodsd
        lea rdi, [rsi+rax-8]
2:      cmp rsi, rdi
        jae 1b
        lodsw
        mov r8d, eax
        shr r8w, 12
        cmp r8b, 10
        jne 2b
        and eax, 0xFFF
        add rax, rdx
        add [rcx+rax], r9
        jmp 2b
9:      ret

#ifdef _WIN32
// The entry point of the packed program: decodes the original image into place, resolves
// its imports, moves its addresses if the image was loaded elsewhere, gives every section
// its own protection and goes on to the original entry point. The registers are not kept:
// the system's thread start only ends the thread with what the entry point returns.
        .globl DepackerEntry
DepackerEntry:
        sub rsp, 40
        lea r15, [rip+DepackerData]
        mov rax, gs:[0x60]
        mov r13, [rax+0x10]                    // the process's image base
        // fresh pages are zeroed, as the model's table must start: the header, the import
        // list, the model
        mov cl, [r15+D_PARAMS+P_TABLEBITS]
        mov edx, 4
        shl edx, cl
        add edx, PACK_HEADER_BYTES + PACK_MAX_IMPORT_BYTES + PACK_MODEL_BYTES
        xor ecx, ecx
        mov r8d, 0x3000                        // MEM_COMMIT | MEM_RESERVE
        lea r9d, [rcx+4]                       // PAGE_READWRITE
        call [r15+D_VIRTUALALLOC]
        xchg rax, r12
        mov eax, 0xC0000017                    // STATUS_NO_MEMORY
        test r12, r12
        jz 9f
        lea rbx, [r12+PACK_HEADER_BYTES+PACK_MAX_IMPORT_BYTES]
        lea rdx, [r15+D_PARAMS]
        lea r8, [r12+H_CLASSES]
        call PackModelStart
        lea rdx, [r15+D_STREAM]
        call PackDecoderStart
        push 1
        pop rdx
        mov r8, r12
        mov r9d, PACK_HEADER_BYTES
        call PackCodeBytes
        push 1
        pop rdx
        mov r8, r14                            // the import list follows the header
        mov r9d, [r12+H_IMPORTBYTES]
        call PackCodeBytes
        lea rdi, [r12+H_SECTIONS]
1:      mov r8d, [rdi+S_RVA]
        test r8d, r8d
        jz 3f
        add r8, r13
        mov r9d, [rdi+S_RAWSIZE]
        movzx edx, byte ptr [rdi+S_KIND]
        push rdi
        push qword ptr [rbx+M_XPH]             // the parser's state where the code begins
        call PackCodeBytes
        pop qword ptr [rbx+M_XPH]
        pop rdi
        cmp byte ptr [rdi+S_KIND], 0
        jne 2f
        mov r9d, [rdi+S_RVA]
        lea rsi, [r9+r13]
        mov r8d, [rdi+S_RAWSIZE]
        call PackUnfilterCode
2:      add rdi, S_SIZE
        jmp 1b
3:      mov r14, r13
        lea rsi, [r12+PACK_HEADER_BYTES]
        call PackResolveImports                // r15: D_LOADLIBRARY, D_GETPROCADDRESS
        test eax, eax
        jnz 9f
        mov rcx, r13
        mov r9, r13
        sub r9, [r12+H_IMAGEBASE]
        mov edx, [r12+H_RELOCRVA]
        mov r8d, [r12+H_RELOCSIZE]
        call PackApplyRelocations
        lea rdi, [r12+H_SECTIONS]
4:      mov ecx, [rdi+S_RVA]
        jrcxz 5f
        add rcx, r13
        mov edx, [rdi+S_VIRTUALSIZE]
        movzx r8d, byte ptr [rdi+S_FLAGS]
        lea r9, [rsp+32]
        call [r15+D_VIRTUALPROTECT]
        add rdi, S_SIZE
        jmp 4b
5:      mov esi, [r12+H_ENTRYRVA]              // the header goes with the memory
        add rsi, r13
        mov rcx, r12
        xor edx, edx
        mov r8d, 0x8000                        // MEM_RELEASE
        call [r15+D_VIRTUALFREE]
        add rsp, 40
        jmp rsi
9:      add rsp, 40
        ret

// What korvapack writes from here on: the import slots the system loader fills, the model's
// settings, the coded stream. (The stub is this one file: nothing follows in its section.)
        .p2align 3, 0x90
        .globl DepackerData
DepackerData:
        .ascii "KorvaPak"
#else
        .section .note.GNU-stack, "", @progbits
#endif
