; DOS 7.1-style boot program: the 448 bytes at offsets 62..509 of a FAT12 or
; FAT16 boot sector, entered through the EB 3C 90 jump at offset 0.
;
; Finds IO.SYS in the root directory, loads its first 4 sectors to 0070:0000
; and enters it at 0070:0200 the way DOS 7.1 expects: BP = 7C00h (the BPB),
; the first data sector as a dword at [BP-4], DI = IO.SYS's first cluster,
; DL = the boot drive, and [BP+2] = 0Eh when the INT 13h extensions are used.

cpu 8086
org 0x7C3E

%include "fatboot.inc"

start:
    cli
    xor ax, ax
    mov ss, ax
    mov sp, STACK_TOP
    mov bp, 0x7C00
    sti
    mov ds, ax
    cld
    SETUP_DRIVE
    LAYOUT
    mov si, io_name
    FIND_FILE
    mov ax, [di+26]
    push ax                     ; first cluster, for DI at the jump
    sub ax, 2
    jb no_system                ; clusters 0 and 1 hold no data
    mov bl, [bp+BPB_SEC_PER_CLUS]
    mov bh, 0
    mul bx
    add ax, [bp+DATA_START]
    adc dx, [bp+DATA_START+2]
    mov bx, LOAD_ADDR
    mov cx, 4
.load:
    call read_sector
    loop .load
    pop di
    mov dl, [bp+BPB_DRIVE]
    jmp 0x0070:0x0200

no_system:
    mov si, msg_invalid
    jmp short fail
disk_error:
    mov si, msg_io
fail:
    call print
    mov si, msg_replace
    call print
    cbw                         ; print leaves AL = 0
    int 0x16
    int 0x19

%include "fatsubs.inc"

; Writes the zero-terminated text at SI on the screen; returns AL = 0.
print:
    lodsb
    test al, al
    jz .done
    mov ah, 0x0E
    mov bx, 7
    int 0x10
    jmp short print
.done:
    ret

msg_invalid: db 13, 10, "Invalid system disk", 0
msg_io:      db 13, 10, "Disk I/O error", 0
msg_replace: db 13, 10, "Replace the disk, and then press any key", 0
; DOS 7.1 needs only IO.SYS to start; MSDOS.SYS is its settings file and is
; named here beside it, where DOS tools expect both names.
io_name:     db "IO      SYS"
msdos_name:  db "MSDOS   SYS"

%if ($ - $$) > 448
%error "boot program longer than 448 bytes"
%endif
    times 448 - ($ - $$) db 0
