# The CUDA converter is built when nvcc is found; without it the converter is
# left out and CudaVideoFrameBuilder::isFormatSupported answers false.
include(CheckLanguage)
if(NOT DEFINED CMAKE_CUDA_COMPILER AND EXISTS /usr/local/cuda/bin/nvcc)
  set(CMAKE_CUDA_COMPILER /usr/local/cuda/bin/nvcc)
endif()
check_language(CUDA)
set(_cuda_default OFF)
if(CMAKE_CUDA_COMPILER)
  set(_cuda_default ON)
endif()
option(PLAYERLIBAV_CUDA "Build the CUDA frame converter" ${_cuda_default})

# Default GPU code: real code for every architecture this nvcc can build from
# sm_75 (Turing) on, plus PTX of the newest, which the driver compiles at load
# time for GPUs newer than the toolkit. Each architecture adds to the build time
# and to the library's size (docs/gpu.md); -DCMAKE_CUDA_ARCHITECTURES=86-real
# (or "75-real;86") narrows it to the GPUs at hand.
function(pla_default_cuda_architectures out)
  execute_process(COMMAND ${CMAKE_CUDA_COMPILER} --list-gpu-code
    OUTPUT_VARIABLE _codes ERROR_QUIET RESULT_VARIABLE _rc)
  set(_numbers)
  if(_rc EQUAL 0)
    string(REGEX MATCHALL "sm_[0-9]+\n" _codes "${_codes}\n") # plain sm_N, no a/f variants
    foreach(_code ${_codes})
      string(REGEX REPLACE "sm_([0-9]+)\n" "\\1" _number "${_code}")
      if(_number GREATER_EQUAL 75)
        list(APPEND _numbers ${_number})
      endif()
    endforeach()
  endif()
  if(NOT _numbers)
    set(${out} "75" PARENT_SCOPE) # nvcc did not say: sm_75 and its PTX
    return()
  endif()
  list(REMOVE_DUPLICATES _numbers)
  list(SORT _numbers COMPARE NATURAL)
  list(POP_BACK _numbers _newest)
  list(TRANSFORM _numbers APPEND "-real")
  list(APPEND _numbers ${_newest}) # real code and PTX
  set(${out} "${_numbers}" PARENT_SCOPE)
endfunction()

if(PLAYERLIBAV_CUDA)
  if(NOT DEFINED CMAKE_CUDA_ARCHITECTURES)
    pla_default_cuda_architectures(_architectures)
    set(CMAKE_CUDA_ARCHITECTURES "${_architectures}" CACHE STRING
      "GPU architectures of the CUDA kernels (default: all from 75 on, PTX of the newest)")
  endif()
  message(STATUS "CUDA kernels for: ${CMAKE_CUDA_ARCHITECTURES}")
  enable_language(CUDA)
  find_package(CUDAToolkit REQUIRED)
  set(CMAKE_CUDA_STANDARD 17)
  set(CMAKE_CUDA_RUNTIME_LIBRARY Static)
endif()

# nvcc rejects the host compiler's warning flags that the project adds to every
# target: give them to C++ sources as they are and to CUDA sources through
# -Xcompiler, so the host half of the .cu files is checked the same way.
function(pla_cuda_compile_options target)
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  get_target_property(_options ${target} COMPILE_OPTIONS)
  set(_wrapped)
  if(_options)
    foreach(_option ${_options})
      list(APPEND _wrapped "$<$<COMPILE_LANGUAGE:C,CXX>:${_option}>")
    endforeach()
  endif()
  list(APPEND _wrapped "$<$<COMPILE_LANGUAGE:CUDA>:-Xcompiler=-Wall,-Wextra>")
  set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "${_wrapped}")
endfunction()
