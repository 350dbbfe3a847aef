# Prints a constant, a float, the millisecond counter and a float division by zero.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    log_text greeting

    movss pi(%rip), %xmm0
    call_fixup __kxStrFromFloat
    log_rax

    call_fixup _fmillisecs
    mov %eax, %ebx
    lea_edi prefix
    call_fixup __kxStrConst
    push %rax
    push %rax
    mov %ebx, %edi
    call_fixup __kxStrFromInt
    mov %rax, %rsi
    pop %rdi
    pop %rdi
    call_fixup __kxStrConcat
    log_rax

    movss one(%rip), %xmm0
    xorps %xmm1, %xmm1
    divss %xmm1, %xmm0
    call_fixup __kxStrFromFloat
    log_rax
    pop %rbx
    ret
greeting:
    .asciz "Hello from a module"
prefix:
    .asciz "millisecs "
    .balign 4
pi:
    .float 3.14159274
one:
    .float 1.0
    module_end
