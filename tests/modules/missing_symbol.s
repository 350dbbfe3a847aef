    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    call_fixup _fnosuchcommand
    pop %rbx
    ret
    module_end
