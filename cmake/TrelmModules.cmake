# Assembles every .s file of a folder into a module file (NAME.tbm) with GNU as;
# tools/asm/module.inc lays the module out, objcopy extracts it.
find_program(TRELM_AS as REQUIRED)
find_program(TRELM_OBJCOPY objcopy REQUIRED)

function(trelm_add_modules target)
  file(GLOB module_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.s)
  set(module_files)
  foreach(src ${module_sources})
    get_filename_component(name ${src} NAME_WE)
    set(obj ${CMAKE_CURRENT_BINARY_DIR}/${name}.o)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.tbm)
    add_custom_command(OUTPUT ${out}
      COMMAND ${TRELM_AS} --64 -I ${PROJECT_SOURCE_DIR}/tools/asm -o ${obj} ${src}
      COMMAND ${TRELM_OBJCOPY} -O binary -j .text ${obj} ${out}
      DEPENDS ${src} ${PROJECT_SOURCE_DIR}/tools/asm/module.inc
      COMMENT "Assembling module ${name}")
    list(APPEND module_files ${out})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${module_files})
endfunction()
