# RuntimeError "Boom" after one log line; the second line is never reached.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    log_text before
    lea_edi boom
    call_fixup __kxStrConst
    mov %rax, %rdi
    call_fixup _fruntimeerror
    log_text after
    pop %rbx
    ret
before: .asciz "before"
boom:   .asciz "Boom"
after:  .asciz "after"
    module_end
