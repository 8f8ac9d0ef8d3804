; DOS 6.22-style boot program: the 448 bytes at offsets 62..509 of a FAT12 or
; FAT16 boot sector, entered through the EB 3C 90 jump at offset 0.
;
; Hands over to IO.SYS the way the DOS 3.3 to 6.22 boot sector does, since
; their IO.SYS reads what that sector leaves behind:
;   - the first 3 sectors of IO.SYS at 0070:0000, entered there with
;     CH = media byte, DL = the boot drive and AX:BX = the first data sector
;     (AX the high word), from where the DOS loader reads the rest of IO.SYS;
;     so IO.SYS must start at the start of the data area (cluster 2);
;   - IO.SYS's root directory entry at 0000:0500 and MSDOS.SYS's at 0000:0520
;     (the loader takes MSDOS.SYS's start cluster from 0000:053A), copied
;     there from wherever they are in the root directory: a volume label or
;     other files may come first on the disk;
;   - the in-memory BPB at 0000:7C00 with the drive number and the geometry
;     the loader reads by CHS with; the diskette parameter vector pointing at
;     a patched copy of the table at 0000:7C3E, with its address and original
;     value on the stack (SS:SP = 0000:7BF8: 0078h, 0000h, original offset,
;     segment) and the first data sector at 0000:7C49, as DOS leaves them.
; The DOS loader reads by CHS only, so this program does too: a volume it
; can start from is one the loader can read.

cpu 8086
org 0x7C3E

DIR_BUF    equ 0x0700           ; where IO.SYS goes once it is found
STACK_TOP  equ 0x7C00
DATA_START equ 0x49             ; right after the table copy, as in DOS

%include "fatboot.inc"

start:
    ENTER_WITH_DPT_COPY 0x7C3E
    SETUP_DRIVE
    LAYOUT
    push dx                     ; first root sector, for the second search
    push ax
    mov si, msdos_name
    mov bx, 0x0520
    call find_entry
    pop ax
    pop dx
    mov si, io_name
    mov bx, 0x0500
    call find_entry
    cmp word [0x0500+26], 2     ; the DOS loader reads on from the data start
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
    RESTORE_DPT_AND_REBOOT

; Finds the root directory entry named by the 11 bytes at SI and copies it to
; BX; DX:AX is the first root directory sector.
find_entry:
    push bx
    FIND_FILE
    pop bx
    mov si, di
    mov di, bx
    mov cl, 16                  ; CX = 0 after the name matched
    rep movsw
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
