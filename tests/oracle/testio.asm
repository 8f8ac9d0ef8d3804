; Stand-in IO.SYS for the boot tests. Loaded at 0070:0000 by a boot program,
; it reports on COM1 what it was handed and then ends QEMU through the
; isa-debug-exit device at port F4h:
;
;   KORVANE-TESTIO entry=622 AX=.... BX=.... CX=.... DX=.... BP=.... DI=....
;     SP=.... [BP-4]=........ SECTORS=1234 DRV=.. MODE=.. SPT=.... HEADS=....
;     DIR=.. MSCLUS=.... I1E=....:.... EOT=.. STACK=....,....,....,....,   (all on one line)
;
; entry=622 when entered at offset 0 (DOS 6.22 contract), entry=71 when
; entered at offset 200h (DOS 7.1 contract). STACK is the four words at SS:SP.
; SECTORS shows which of the file's 4 sectors arrived: sector n ends with
; "K" and the digit n; a sector not loaded shows as "-". DRV, MODE, SPT and
; HEADS are the in-memory BPB's drive number, offset 2 byte, sectors per
; track and heads at 0000:7C00. I1E is the diskette parameter vector
; (segment:offset) and EOT the last-sector byte of the table it points at.
; DIR has one character for each of the root directory entries at 0000:0500
; and 0000:0520: "+" when it names IO.SYS and MSDOS.SYS respectively, "-"
; when not; MSCLUS is the start cluster at 0000:053A, where the DOS 6.22
; loader takes MSDOS.SYS's from.

cpu 8086
org 0

COM1        equ 0x3F8
EXIT_PORT   equ 0xF4

entry622:
    mov [cs:regs+0], ax
    mov [cs:regs+6], dx
    mov ax, '62'
    mov dx, '2'
record:
    mov [cs:tag], ax
    mov [cs:tag+2], dx
    mov [cs:regs+2], bx
    mov [cs:regs+4], cx
    mov [cs:regs+8], bp
    mov [cs:regs+10], di
    mov [cs:regs+12], sp
    mov [cs:regs+14], ss
    cli
    push cs
    pop ds
    push cs
    pop ss
    mov sp, stack_end
    sti
    cld
    jmp report

    times 0x1FE - ($ - $$) db 0
    db "K1"

entry71:
    mov [cs:regs+0], ax
    mov [cs:regs+6], dx
    mov ax, '71'
    xor dx, dx
    jmp record

report:
    mov si, txt_marker
    call puts
    mov si, tag
    call puts
    mov si, reg_names
    mov di, regs
    mov cx, 7
.regs:                          ; AX to DI, then SP
    call puts
    mov ax, [di]
    call hex16
    add di, 2
    loop .regs
    ; [BP-4] as a dword, read through segment 0
    call puts                   ; " [BP-4]="
    xor ax, ax
    mov es, ax
    mov bx, [regs+8]
    mov ax, [es:bx-2]
    call hex16
    mov ax, [es:bx-4]
    call hex16
    call puts                   ; " SECTORS="
    mov bx, 0x1FE
    mov cx, 4
    mov dx, 'K1'                ; DL = 'K', DH = the sector's digit
.sector:
    mov al, '-'
    cmp [bx], dx
    jne .mark
    mov al, dh
.mark:
    call putc
    inc dh
    add bx, 0x200
    loop .sector
    call puts                   ; " DRV="
    mov al, [es:0x7C24]
    call hex8
    call puts                   ; " MODE="
    mov al, [es:0x7C02]
    call hex8
    call puts                   ; " SPT="
    mov ax, [es:0x7C18]
    call hex16
    call puts                   ; " HEADS="
    mov ax, [es:0x7C1A]
    call hex16
    call puts                   ; " DIR="
    mov di, 0x0500
    call dir_mark               ; SI = io_name
    mov di, 0x0520
    call dir_mark               ; SI = msdos_name
    call puts                   ; " MSCLUS="
    mov ax, [es:0x053A]
    call hex16
    call puts                   ; " I1E="
    les bx, [es:0x78]
    mov ax, es
    call hex16
    mov al, ':'
    call putc
    mov ax, bx
    call hex16
    call puts                   ; " EOT="
    mov al, [es:bx+4]
    call hex8
    call puts                   ; " STACK=", each word followed by a comma
    mov es, [regs+14]
    mov bx, [regs+12]
    mov cx, 4
.stack:
    mov ax, [es:bx]
    call hex16
    mov al, ','
    call putc
    add bx, 2
    loop .stack
    call puts                   ; CR LF
    mov al, 0x10
    out EXIT_PORT, al
.halt:
    hlt
    jmp short .halt

; Writes "+" when the 11 bytes at ES:DI are the name at SI, else "-"; leaves
; SI after the name.
dir_mark:
    mov cx, 11
    repe cmpsb
    mov al, '+'
    je .mark
    mov al, '-'
.mark:
    add si, cx
    jmp putc

; Writes the zero-terminated text at SI; leaves SI after its terminator.
puts:
    lodsb
    test al, al
    jz .done
    call putc
    jmp short puts
.done:
    ret

; hex16 writes AX as 4 hex digits, hex8 AL as 2; both change AX.
hex8:
    push cx
    mov ch, 2
    mov ah, al
    jmp short hex
hex16:
    push cx
    mov ch, 4
hex:
    mov cl, 4
    rol ax, cl                  ; the next digit into the low nibble
    push ax
    and al, 0x0F
    add al, 0x90                ; 0-9 become '0'-'9', 10-15 'A'-'F'
    daa
    adc al, 0x40
    daa
    call putc
    pop ax
    dec ch
    jnz hex
    pop cx
    ret

putc:
    push dx
    push ax
    mov dx, COM1 + 5
.wait:
    in al, dx
    test al, 0x20
    jz .wait
    pop ax
    mov dx, COM1
    out dx, al
    pop dx
    ret

txt_marker: db "KORVANE-TESTIO entry=", 0
reg_names:  db " AX=", 0, " BX=", 0, " CX=", 0, " DX=", 0, " BP=", 0, " DI=", 0, " SP=", 0
            db " [BP-4]=", 0, " SECTORS=", 0, " DRV=", 0, " MODE=", 0, " SPT=", 0, " HEADS=", 0
            db " DIR=", 0, "IO      SYS", "MSDOS   SYS", " MSCLUS=", 0, " I1E=", 0, " EOT=", 0, " STACK=", 0
            db 13, 10, 0

    times 0x3FE - ($ - $$) db 0
    db "K2"

tag:        db 0, 0, 0, 0
regs:       times 8 dw 0
stack:      times 64 dw 0
stack_end:

    times 0x5FE - ($ - $$) db 0
    db "K3"
    times 0x7FE - ($ - $$) db 0
    db "K4"
