# Returns at once.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    ret
    module_end
