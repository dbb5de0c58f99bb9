# The flags every target of a tree shares, defined once.
#
# korva_code: an interface target for the game's own code (the portable libraries, the
# screens and each edge): warnings on, no exceptions and no RTTI, and for the shipped
# builds the size options below. Tools and tests use the standard library freely and
# take only the tree's global options.

if(WIN32)
  # The game is judged by its size as much as its speed: small code, optimised across files at
  # link time, every function in its own section so the link keeps only what is reached.
  # (Data stays in its sections: split, the zero-filled tables would be stored in the file.)
  set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
  set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
  add_compile_options(-ffunction-sections)
  # Fat objects: the game links the libraries' bytecode, the tests their plain code. (The
  # 32-bit linker crashes on this program's bytecode, so that build goes without.)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(KORVA_LTO -flto -ffat-lto-objects)
    # The game's own code:
    # - at -Oz, smaller still than -Os (the song's prefill takes 2.6 ms instead of 1.0 under
    #   Wine: the audio thread's load stays far below a per cent);
    # - without unwind tables, as it throws nothing (.pdata and .xdata keep the libraries'
    #   entries only). The price: a debugger cannot walk the stack through its functions.
    #   Without them GCC no longer takes the ABI's 16-byte stack alignment for granted and
    #   realigns every frame that calls out; the ABI guarantees it, so it is said again.
    #   (Code with exceptions, the tests', keeps its tables: without, GCC would switch it to
    #   setjmp/longjmp unwinding.)
    # - with square roots as the instruction itself, as nothing reads errno: correctly
    #   rounded, as on Windows (the library's x87 root rounds twice under Wine's 64-bit x87
    #   precision).
    # - laid out for the packer: instructions in the order the code computes (no second
    #   scheduling pass), switches as compare chains rather than tables of addresses, and
    #   every function's saves in its prologue: the same few instruction sequences recur,
    #   which the packer's model predicts (its stream 695 bytes smaller; the code no larger).
    set(KORVA_GAME_CODE -Oz -fno-asynchronous-unwind-tables -fno-unwind-tables
                        -mincoming-stack-boundary=4 -fno-math-errno
                        -fno-schedule-insns2 -fno-jump-tables -fno-shrink-wrap)
  endif()
  # The Windows programs carry their runtime: they depend on system DLLs only.
  set(KORVA_WIN_LINK -static -static-libgcc -static-libstdc++)
endif()

# The page is judged by its download as the executable by its size.
if(EMSCRIPTEN)
  set(CMAKE_CXX_FLAGS_RELEASE "-Oz -DNDEBUG")
  set(CMAKE_C_FLAGS_RELEASE "-Oz -DNDEBUG")
  set(KORVA_LTO -flto)
endif()

# Sanitized builds: the native tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# or the loader's fuzzing harness (clang, libFuzzer).
option(KORVA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KORVA_FUZZ "Build the XM loader fuzzing harness (clang)" OFF)
if(KORVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KORVA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(korva_code INTERFACE)
target_compile_options(korva_code INTERFACE -Wall -Wextra -fno-exceptions -fno-rtti ${KORVA_LTO}
                       ${KORVA_GAME_CODE})
