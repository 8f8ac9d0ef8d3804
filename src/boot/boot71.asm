; DOS 7.1-style boot program: the 448 bytes at offsets 62..509 of a FAT12 or
; FAT16 boot sector, entered through the EB 3C 90 jump at offset 0.
;
; Finds IO.SYS in the root directory, loads its first 4 sectors to 0070:0000
; and enters it at 0070:0200 the way the DOS 7.1 boot sector does, with what
; that IO.SYS reads: BP = 7C00h (the in-memory BPB with the boot drive and
; the geometry to read by), the first data sector as a dword at [BP-4],
; DI = IO.SYS's first cluster, DL = the boot drive, [BP+2] = 0Eh when sectors
; are read through the INT 13h extensions, the diskette parameter vector
; pointing at a patched copy of the table at 0000:0522, and SS:SP = 0000:7BF4
; holding the vector's address and original value (0078h, 0000h, offset,
; segment). It needs 80186 instructions (PUSHA, immediate pushes and shifts)
; to fit its 448 bytes, so it does not start on an 8086 or 8088.

cpu 186
org 0x7C3E

%define CPU186
%define WITH_LBA
DIR_BUF    equ 0x7E00
STACK_TOP  equ 0x7BFC
DATA_START equ -4

%include "fatboot.inc"

start:
    ENTER_WITH_DPT_COPY 0x0522
    SETUP_DRIVE
    LAYOUT
    mov si, io_name
    FIND_FILE
    mov di, [di+26]             ; first cluster, handed over in DI
    lea ax, [di-2]              ; (clusters 0 and 1 end in a read error)
    mov cl, [bp+BPB_SEC_PER_CLUS]   ; CH = 0: the search leaves CX = 11
    mul cx
    add ax, [bp+DATA_START]
    adc dx, [bp+DATA_START+2]
    mov bx, LOAD_ADDR
    mov cl, 4                   ; CH = 0 still
.load:
    call read_sector
    loop .load
    mov dl, [bp+BPB_DRIVE]
    jmp 0x0070:0x0200

no_system:
    mov si, msg_invalid
    call print
    mov si, msg_replace
    jmp short fail
disk_error:
    mov si, msg_io              ; runs on into msg_replace
fail:
    call print
    cbw                         ; print leaves AL = 0
    int 0x16
    int 0x19                    ; the table copy at 0000:0522 stays sound

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
msg_io:      db 13, 10, "Disk I/O error"
msg_replace: db 13, 10, "Replace the disk, and then press any key", 0
; DOS 7.1 needs only IO.SYS to start; MSDOS.SYS is its settings file and is
; named here beside it, where DOS tools expect both names.
io_name:     db "IO      SYS"
msdos_name:  db "MSDOS   SYS"

%if ($ - $$) > 448
%error "boot program longer than 448 bytes"
%endif
    times 448 - ($ - $$) db 0
