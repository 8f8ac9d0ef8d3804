; DOS 6.22-style boot program: the 448 bytes at offsets 62..509 of a FAT12 or
; FAT16 boot sector, entered through the EB 3C 90 jump at offset 0.
;
; Requires IO.SYS at the start of the data area (cluster 2) and MSDOS.SYS in
; the root directory, as DOS 6.22 does, loads the first 3 sectors of IO.SYS
; to 0070:0000 and enters it there with CH = media byte, DL = the boot drive
; and AX:BX = the first data sector (AX the high word), from where the DOS
; loader reads the rest of IO.SYS. It also takes the diskette parameter
; vector from the stack: its value and its address (0000:0078) are the four
; words left there; the vector itself is not changed.

cpu 8086
org 0x7C3E

%include "fatboot.inc"

start:
    cli
    xor ax, ax
    mov ss, ax
    mov sp, STACK_TOP
    mov bp, 0x7C00
    mov bx, 0x78                ; INT 1Eh vector
    lds si, [ss:bx]
    push ds
    push si
    push ss
    push bx
    mov ds, ax
    sti
    cld
    SETUP_DRIVE
    LAYOUT
    push dx                     ; first root sector, for the second search
    push ax
    mov si, msdos_name
    call find_file
    pop ax
    pop dx
    mov si, io_name
    call find_file
    cmp word [di+26], 2         ; the DOS loader reads on from the data start
    jne no_system
    mov ax, [bp+DATA_START]
    mov dx, [bp+DATA_START+2]
    mov bx, LOAD_ADDR
    mov cx, 3
.load:
    call read_sector
    loop .load
    mov ch, [bp+BPB_MEDIA]
    mov dl, [bp+BPB_DRIVE]
    mov bx, [bp+DATA_START]
    mov ax, [bp+DATA_START+2]
    jmp 0x0070:0x0000

no_system:
disk_error:
    mov si, msg_error
.print:
    lodsb
    test al, al
    jz .wait
    mov ah, 0x0E
    mov bx, 7
    int 0x10
    jmp short .print
.wait:
    cbw
    int 0x16
    int 0x19

find_file:
    FIND_FILE
    ret

%include "fatsubs.inc"

msg_error:   db 13, 10, "Non-System disk or disk error", 13, 10
             db "Replace and press any key when ready", 0
io_name:     db "IO      SYS"
msdos_name:  db "MSDOS   SYS"

%if ($ - $$) > 448
%error "boot program longer than 448 bytes"
%endif
    times 448 - ($ - $$) db 0
