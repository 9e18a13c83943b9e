! A Fortran 2003 program drawing through the Lumo module: named constants,
! arguments by keyword, texts of any length.
program chart
  use lumo
  implicit none
  integer(c_int) :: ir, blue, pixel
  real(c_float) :: square(8) = [2.0, 2.0, 8.0, 2.0, 8.0, 8.0, 2.0, 8.0]

  call lmopen(ir, 0)
  call lmsetworld(ir, x1=0.0, y1=0.0, x2=10.0, y2=10.0)
  blue = lmrgb(red=0, green=0, blue=255)
  call lmsetpen(ir, colour=blue, style=LM_PEN_SOLID, width=1, mode=LM_MODE_CRISP)
  call lmsetbrush(ir, blue, LM_BRUSH_SOLID, LM_KEEP)
  call lmpolygon(ir, square, 4, LM_FILL_ALTERNATE)
  call lmsetfont(ir, height=0.6, angle=0.0, alignment=LM_ALIGN_LEFT + LM_ALIGN_BASELINE, &
                 colour=LM_FOREGROUND, weight=LM_WEIGHT_BOLD, face='')
  call lmtext(ir, 1.0, 9.0, 'Fortran 2003')
  call lmtext(ir, x=1.0, y=0.5, text='truncated')
  call lmgetpixel(pixel, 5.0, 5.0)
  write (*, '(a,z8.8)') 'POLYGON=', pixel
  call lmgetpixel(pixel, 9.0, 9.0)
  write (*, '(a,z8.8)') 'OUTSIDE=', pixel
  call lmquit(ir)
end program chart
