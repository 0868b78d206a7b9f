#include "process_values.h"

double current_time_step = 0.0;
int result_mode = 1;
int gauss_point_counter = 0;

void reset_process_values()
{
    current_time_step = 0.0;
    result_mode = 1;
    gauss_point_counter = 0;
}
