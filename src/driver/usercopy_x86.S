/* int __cdecl DunCopyToCaller(void* destination, const void* source, SIZE_T length): 0 when copied, 1 when the
 * destination faulted. The copy runs inside an exception registration of its own (fs:[0], the kernel's exception
 * list on this processor) whose handler is DunCopyFault (usercopy.c). */
        .text
        .globl  _DunCopyToCaller
        .globl  _DunCopyRecover
        .def    _DunCopyToCaller; .scl 2; .type 32; .endef
_DunCopyToCaller:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %esi
        pushl   %edi
        pushl   $_DunCopyFault
        pushl   %fs:0
        movl    %esp, %fs:0
        movl    8(%ebp), %edi
        movl    12(%ebp), %esi
        movl    16(%ebp), %ecx
        cld
        rep movsb
        xorl    %eax, %eax
.Lreturn:
        popl    %fs:0
        addl    $4, %esp
        popl    %edi
        popl    %esi
        popl    %ebp
        ret
_DunCopyRecover:
        movl    $1, %eax
        jmp     .Lreturn
