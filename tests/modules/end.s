# End stops the run quietly; the log line after it never appears.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    call_fixup _fend
    lea_edi after
    call_fixup __kxStrConst
    mov %rax, %rdi
    call_fixup _fdebuglog
    pop %rbx
    ret
after: .asciz "after End"
    module_end
