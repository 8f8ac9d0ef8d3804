; MBR program: the 445 bytes at offsets 0..444 of sector 0; the partition
; table at 446 and the signature are written by the formatter.
;
; Moves itself from 0000:7C00 to 0000:0600, finds the one active partition,
; reads that partition's first sector to 0000:7C00 and jumps to it with
; DL = the boot drive and DS:SI (and BP) pointing at the partition entry.
; The sector is read through the INT 13h extensions when the BIOS offers
; them for the drive, else by CHS computed from the entry's start sector with
; the BIOS's geometry (the CHS fields of the entry may not match it).
; FORCE_CHS (defined only for test builds) leaves the extensions unused.

cpu 8086
org 0x0600

ORIGIN      equ 0x7C00
TABLE       equ 0x0600 + 446
SIGNATURE   equ ORIGIN + 510

start:
    cli
    xor ax, ax
    mov ss, ax
    mov sp, ORIGIN
    sti
    mov ds, ax
    mov es, ax
    cld
    mov si, ORIGIN
    mov di, 0x0600
    mov cx, 256
    rep movsw
    jmp 0:relocated             ; also makes CS = 0, whatever the BIOS used

relocated:
    mov [drive], dl
    mov si, TABLE
    xor bp, bp                  ; the active entry, none yet
    mov cl, 4
.scan:
    mov al, [si]
    test al, al
    jz .next
    cmp al, 0x80
    jne invalid_table           ; a boot flag is 00h or 80h
    test bp, bp
    jnz invalid_table           ; two active partitions
    mov bp, si
.next:
    add si, 16
    loop .scan
    test bp, bp
    jnz load
    int 0x18                    ; no active partition: the BIOS boots on
    mov si, msg_missing
    jmp short fail

load:
%ifndef FORCE_CHS
    mov ah, 0x41
    mov bx, 0x55AA
    int 0x13
    jc .chs
    cmp bx, 0xAA55
    jne .chs
    shr cl, 1                   ; packet calls (AH=42h) supported?
    jnc .chs
    inc byte [use_lba]
%endif
.chs:
    mov ah, 0x08
    mov dl, [drive]
    int 0x13                    ; geometry for CHS reads
    push ss
    pop es                      ; AH=08h may change ES:DI
    jc .read
    and cx, 0x3F
    mov [sectors], cx
    mov cl, dh
    inc cx
    mov [heads], cx
.read:
    mov di, 5                   ; attempts
.again:
    call read_boot_sector
    jnc .check
    xor ax, ax
    mov dl, [drive]
    int 0x13                    ; reset the drive before the next attempt
    dec di
    jnz .again
    mov si, msg_load
    jmp short fail
.check:
    cmp word [SIGNATURE], 0xAA55
    mov si, msg_missing
    jne fail
    mov si, bp
    mov dl, [drive]
    jmp 0:ORIGIN

invalid_table:
    mov si, msg_invalid
fail:
    lodsb
    test al, al
    jz .wait
    mov ah, 0x0E
    mov bx, 7
    int 0x10
    jmp short fail
.wait:
    cbw
    int 0x16
    int 0x19

; Reads the first sector of the partition entry at BP to 0000:7C00; CF set
; on failure.
read_boot_sector:
    mov ax, [bp+8]
    mov dx, [bp+10]
    mov bx, ORIGIN
    cmp byte [use_lba], 0
    je .chs
    xor cx, cx
    push cx                     ; sector number, bits 32..63
    push cx
    push dx                     ; sector number, bits 0..31
    push ax
    push cx                     ; buffer segment 0
    push bx
    inc cx
    push cx                     ; one sector
    mov cl, 0x10
    push cx                     ; packet size
    mov si, sp
    mov ah, 0x42
    mov dl, [drive]
    int 0x13
    lea sp, [si+16]             ; drops the packet, CF kept
    ret
.chs:
    mov cx, [sectors]
    cmp dx, cx                  ; beyond CHS reach, or no geometry
    jae .fail
    div cx                      ; AX = track, DX = sector - 1
    inc dx
    mov cl, dl
    xor dx, dx
    cmp dx, [heads]
    jae .fail
    div word [heads]            ; AX = cylinder, DX = head
    cmp ax, 1024
    jae .fail
    mov ch, al
    ror ah, 1
    ror ah, 1
    or cl, ah                   ; cylinder bits 8 and 9 in CL bits 6 and 7
    mov dh, dl
    mov dl, [drive]
    mov ax, 0x0201
    int 0x13
    ret
.fail:
    stc
    ret

msg_invalid: db 13, 10, "Invalid partition table", 0
msg_load:    db 13, 10, "Error loading operating system", 0
msg_missing: db 13, 10, "Missing operating system", 0

drive:   db 0
use_lba: db 0
sectors: dw 0
heads:   dw 0

%if ($ - $$) > 445
%error "MBR program longer than 445 bytes"
%endif
    times 445 - ($ - $$) db 0
