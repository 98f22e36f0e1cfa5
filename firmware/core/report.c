/* SPDX-License-Identifier: MIT */
/* Interrupt reports: what the host wrote, and the status report. */
#include "fw_internal.h"

void fw_report_received(const uint8_t *report)
{
    uint8_t i;
    ++FW.report.host_reports;
    for (i = 0; i < KOUSB_REPORT_ECHO_BYTES; ++i)
        FW.report.last_host_report[i] = report[i];
}

void fw_status_report(uint8_t *report)
{
    uint8_t i;
#if FW_BUILDS(KOUSB_CAP_UART)
    uint16_t waiting = fw_uart_waiting();
#endif
    report[0] = KOUSB_REPORT_TYPE_STATUS;
    report[1] = KOUSB_REPORT_FIRMWARE_RUNNING;
    if ((fw_capabilities & KOUSB_CAP_FPGA_CONFIG) && hw_fpga_done())
        report[1] |= KOUSB_REPORT_FPGA_CONFIGURED;
#if FW_BUILDS(KOUSB_CAP_UART)
    if (fw_uart_take_overrun())
        report[1] |= KOUSB_REPORT_UART_OVERRUN;
    report[2] = (uint8_t)waiting;
    report[3] = (uint8_t)(waiting >> 8);
#else
    report[2] = report[3] = 0;  /* no UART: nothing waiting, no overrun */
#endif
    report[4] = (uint8_t)fw_temperature();
    report[5] = FW.report.host_reports;
    ++FW.report.sequence;
    report[6] = (uint8_t)FW.report.sequence;
    report[7] = (uint8_t)(FW.report.sequence >> 8);
    for (i = 0; i < KOUSB_REPORT_ECHO_BYTES; ++i)
        report[KOUSB_REPORT_ECHO_OFFSET + i] = FW.report.last_host_report[i];
}
