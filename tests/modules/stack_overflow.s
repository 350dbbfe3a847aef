# Endless recursion in module code.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    call recurse
    pop %rbx
    ret
recurse:
    push %rax
    call recurse
    pop %rax
    ret
    module_end
