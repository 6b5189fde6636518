# The device check run by tools/gpu-check.sh on a machine with an NVIDIA GPU:
# built only when asked, never part of `make test` (these machines have no GPU).
option(PLAYERLIBAV_GPU_CHECK "Build the CUDA device check (needs a GPU to run)" OFF)
if(PLAYERLIBAV_CUDA AND PLAYERLIBAV_GPU_CHECK)
  add_executable(CudaDeviceCheck ${CMAKE_CURRENT_LIST_DIR}/CudaDeviceCheck.cpp)
  target_include_directories(CudaDeviceCheck PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(CudaDeviceCheck PRIVATE pla_cuda CUDA::cudart_static)
endif()
