# CUDA converter and colour kernels; built whenever the CUDA parts are.
if(PLAYERLIBAV_CUDA)
  # Host arithmetic and the kernels' per-thread code on the CPU.
  pla_add_test(NAME CudaColourMatrixTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColourMatrixTest.cpp LIBS pla_cuda)
  pla_add_test(NAME CudaColourKernelTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColourKernelTest.cpp LIBS pla_cuda)
  pla_add_test(NAME CudaColourReferenceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/ColourReferenceTest.cpp
    LIBS pla_cuda LABELS media)
  # The converter through a fake runtime, and the real one failing without a GPU.
  pla_add_test(NAME CudaConverterTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/CudaConverterTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CudaTestSupport.cpp LIBS pla_cuda)
  pla_add_test(NAME CudaFrameTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/CudaFrameTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CudaTestSupport.cpp LIBS pla_cuda pla_player LABELS display)
endif()
