    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    ud2
    ret
    module_end
