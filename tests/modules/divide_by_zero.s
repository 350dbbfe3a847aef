# An integer division by zero in module code.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    mov $7, %eax
    xor %ecx, %ecx
    cltd
    idiv %ecx
    pop %rbx
    ret
    module_end
