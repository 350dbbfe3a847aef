# End stops the run quietly; the log line after it never appears.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    call_fixup _fend
    log_text after
    pop %rbx
    ret
after: .asciz "after End"
    module_end
