# The module's own _fcommandline wins over the runtime's command of that name.
    .include "module.inc"
    module_begin
    module_symbol __MAIN, main
    module_symbol _fcommandline, own_commandline
main:
    push %rbx
    call_fixup _fcommandline
    log_rax
    pop %rbx
    ret
own_commandline:
    push %rbx
    lea_edi text
    call_fixup __kxStrConst
    pop %rbx
    ret
text: .asciz "the module's own CommandLine"
    module_end
