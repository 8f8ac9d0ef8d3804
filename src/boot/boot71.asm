; placeholder: prints its message and waits for a key (loader not written yet)
cpu 8086
org 0x7C3E
start:
    xor ax, ax
    mov ds, ax
    mov si, msg
.next: lodsb
    or al, al
    jz .wait
    mov ah, 0x0E
    mov bx, 7
    int 0x10
    jmp .next
.wait: xor ax, ax
    int 0x16
    int 0x19
msg: db 13,10,"Invalid system disk",13,10,"Disk I/O error",13,10,"Replace the disk, and then press any key",13,10,0
names: db "IO      SYS","MSDOS   SYS"
    times 448-($-$$) db 0
