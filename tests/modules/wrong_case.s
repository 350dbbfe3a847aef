# Module names are exact: the runtime's command is _fmillisecs, not _fMilliSecs.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    call_fixup _fMilliSecs
    pop %rbx
    ret
    module_end
