# A read through a null pointer, then an illegal instruction that is never reached.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    xor %eax, %eax
    mov (%rax), %eax
    ud2
    ret
    module_end
