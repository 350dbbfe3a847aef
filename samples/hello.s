# A first module: names the window, greets, shows a number as text, waits on a
# frame timer for a second and prints the runtime's statistics.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    lea_edi title
    call_fixup __kxStrConst
    push %rax
    lea_edi empty
    call_fixup __kxStrConst
    mov %rax, %rsi
    pop %rdi
    call_fixup _fapptitle

    log_text greeting

    movss pi(%rip), %xmm0
    call_fixup __kxStrFromFloat
    log_rax

    mov $30, %edi
    call_fixup _fcreatetimer
    mov %eax, %ebx
    push %r12
    push %r12
    mov $30, %r12d
1:  mov %ebx, %edi
    call_fixup _fwaittimer
    dec %r12d
    jnz 1b
    pop %r12
    pop %r12

    log_text waited
    call_fixup _fruntimestats
    pop %rbx
    ret
title:    .asciz "Trelm"
empty:    .asciz ""
greeting: .asciz "Hello from a Trelm module"
waited:   .asciz "Waited 30 ticks of a 30 Hz timer"
    .balign 4
pi:       .float 3.14159274
    module_end
