/* int DunCopyToCaller(void* destination, const void* source, SIZE_T length): 0 when copied, 1 when the
 * destination faulted. The unwind data names DunCopyFault (usercopy.c) as the handler of the whole function. */
        .text
        .globl  DunCopyToCaller
        .globl  DunCopyRecover
        .def    DunCopyToCaller; .scl 2; .type 32; .endef
        .seh_proc DunCopyToCaller
DunCopyToCaller:
        pushq   %rsi
        .seh_pushreg %rsi
        pushq   %rdi
        .seh_pushreg %rdi
        .seh_endprologue
        .seh_handler DunCopyFault, @except
        movq    %rcx, %rdi
        movq    %rdx, %rsi
        movq    %r8, %rcx
        cld
        rep movsb
        xorl    %eax, %eax
.Lreturn:
        popq    %rdi
        popq    %rsi
        ret
DunCopyRecover:
        movl    $1, %eax
        jmp     .Lreturn
        .seh_endproc
