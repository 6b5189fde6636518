# CUDA converter and colour kernels; built whenever the CUDA parts are.
if(PLAYERLIBAV_CUDA)
  # Host arithmetic and the kernels' per-thread code on the CPU.
  pla_add_test(NAME CudaColourMatrixTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColourMatrixTest.cpp LIBS pla_cuda)
  pla_add_test(NAME CudaColourKernelTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColourKernelTest.cpp LIBS pla_cuda)
  pla_add_test(NAME CudaColourReferenceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColourReferenceTest.cpp
    LIBS pla_cuda LABELS media)
endif()
