/* Interrupt reports: what the host wrote, and the status report. */
#include "fw_internal.h"

static FW_XDATA uint8_t host_reports;
static FW_XDATA uint8_t last_host_report[KOUSB_REPORT_ECHO_BYTES];
static FW_XDATA uint16_t sequence;

void fw_report_received(const uint8_t *report)
{
    uint8_t i;
    ++host_reports;
    for (i = 0; i < KOUSB_REPORT_ECHO_BYTES; ++i)
        last_host_report[i] = report[i];
}

void fw_status_report(uint8_t *report)
{
    uint8_t i;
    report[0] = KOUSB_REPORT_TYPE_STATUS;
    report[1] = KOUSB_REPORT_FIRMWARE_RUNNING;
    if ((fw_capabilities & KOUSB_CAP_FPGA_CONFIG) && hw_fpga_done())
        report[1] |= KOUSB_REPORT_FPGA_CONFIGURED;
    report[2] = report[3] = 0;  /* no UART on these boards: nothing waiting, no overrun */
    report[4] = (uint8_t)fw_temperature();
    report[5] = host_reports;
    ++sequence;
    report[6] = (uint8_t)sequence;
    report[7] = (uint8_t)(sequence >> 8);
    for (i = 0; i < KOUSB_REPORT_ECHO_BYTES; ++i)
        report[KOUSB_REPORT_ECHO_OFFSET + i] = last_host_report[i];
}
