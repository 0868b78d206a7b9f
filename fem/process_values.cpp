#include "process_values.h"

double current_time_step = 0.0;
int result_mode = 1;
int gauss_point_counter = 0;
