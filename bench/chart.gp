# Bar chart of the wall-time medians, the interquartile range as a line.
# bench/report.py calls: gnuplot -e "data='FILE'; output='PNG'" bench/chart.gp
# Each data line: index "label" median_ms q1_ms q3_ms colour (0xRRGGBB)
set terminal pngcairo size 900,480 font "sans,11"
set output output
set title "Sending R to COM3 once: whole-process wall time, median (bar) and interquartile range (line)"
set ylabel "milliseconds (log scale)"
set logscale y
set yrange [0.3:*]
set grid ytics
set style fill solid 0.8 border -1
set boxwidth 0.6
set xtics rotate by -20 nomirror
set key off
plot data using 1:3:6:xtic(2) with boxes lc rgb variable, \
     data using 1:4:(0):($5-$4) with vectors nohead lc rgb "#222222" lw 1.5, \
     data using 1:($5*1.15):(sprintf("%.2f ms", $3)) with labels offset 0,0.6
