! A Fortran 2003 program drawing through the Lumo module.
program chart
  use lumo
  implicit none
  integer(c_int) :: ir, n, blue, pixel
  real(c_float) :: square(8) = [2.0, 2.0, 8.0, 2.0, 8.0, 8.0, 2.0, 8.0]

  n = 0
  ir = lmopen(ir, n)
  ir = lmsetworld(ir, 0.0, 0.0, 10.0, 10.0)
  blue = lmrgb(0, 0, 255)
  ir = lmsetpen(ir, blue, 0, 1, 13)
  ir = lmsetbrush(ir, blue, 0, 0)
  ir = lmpolygon(ir, square, 4, 0)
  ir = lmtext(ir, 1.0, 9.0, 'Fortran 2003', 12)
  ir = lmgetpixel(pixel, 5.0, 5.0)
  write (*, '(a,z8.8)') 'POLYGON=', pixel
  ir = lmgetpixel(pixel, 9.0, 9.0)
  write (*, '(a,z8.8)') 'OUTSIDE=', pixel
  ir = lmquit(ir)
end program chart
