// SPDX-License-Identifier: GPL-3.0-or-later
// Two parts of the speech tools that Festival is linked with are never used
// here: the line editor of Festival's interactive prompt (it asks the terminal
// database, libtinfo, about the terminal) and the training of decision trees
// (it runs in parallel with OpenMP, libgomp). Loading those two libraries
// would cost every job about a millisecond at start-up, so this program
// answers their few calls itself: the terminal is unknown, and a parallel
// region runs on the calling thread alone, as OpenMP allows. The definitions
// stay inside the program (nothing else is given them) and the link pulls
// this file in by name (see src/CMakeLists.txt).

extern "C" {

int tgetent(char*, const char*) { return 0; }
int tgetnum(const char*) { return -1; }
char* tgetstr(const char*, char**) { return nullptr; }

void GOMP_parallel(void (*region)(void*), void* data, unsigned, unsigned) { region(data); }
void GOMP_barrier() {}
int omp_get_num_threads() { return 1; }
int omp_get_thread_num() { return 0; }

}  // extern "C"
