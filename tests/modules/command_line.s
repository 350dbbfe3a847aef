# Logs CommandLine, RuntimeStats and waits on a 50 Hz timer twice.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
main:
    push %rbx
    call_fixup _fcommandline
    log_rax
    call_fixup _fruntimestats
    mov $50, %edi
    call_fixup _fcreatetimer
    mov %eax, %ebx
    mov %ebx, %edi
    call_fixup _fwaittimer
    mov %ebx, %edi
    call_fixup _fwaittimer
    mov %ebx, %edi
    call_fixup _ffreetimer
    log_text done
    pop %rbx
    ret
done: .asciz "timer done"
    module_end
